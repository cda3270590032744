// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/log_viewer_model.h"

#include <filesystem>

#include "platform/atomic_file.h"
#include "platform/input_file.h"

namespace rur {

LogViewStep LogFollower::Fill(const std::vector<std::string>& log) {
  shown_ = log.size();
  return LogViewStep{true, log};
}

LogViewStep LogFollower::Follow(const std::vector<std::string>& log) {
  LogViewStep step;
  if (log.size() > shown_) {
    step.lines.assign(log.begin() + static_cast<std::ptrdiff_t>(shown_), log.end());
  } else if (log.size() < shown_) {
    step.refill = true;
    step.lines = log;
  }
  shown_ = log.size();
  return step;
}

bool LoadLogFileText(const std::string& path, std::string& text, std::string& error) {
  constexpr std::uintmax_t kLargestShownFile = 64u << 20;
  // A device or a pipe would be read without end; a missing file is told below.
  std::error_code missing;
  std::string problem;
  if (std::filesystem::exists(path, missing) && !CheckInputFile(path, kLargestShownFile, problem)) {
    error = "The file " + path + " " + problem + ".";
    return false;
  }
  const FileReadStatus status = ReadWholeFile(path, text, error);
  if (status == FileReadStatus::Missing) error = "The file " + path + " does not exist.";
  if (status != FileReadStatus::Ok) return false;
  return true;
}

std::string LiveCaption(bool monitorArmed) {
  return monitorArmed ? "Event log - Real Time" : "Event log - Real Time( Paused )";
}

std::string FileCaption(const std::string& path) {
  return "Event log - " + std::filesystem::path(path).filename().string();
}

}  // namespace rur
