// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/drive_names.h"

#include <filesystem>

#include "cli/command_arguments.h"

namespace rur::cli {
namespace {

constexpr const char* kByIdFolder = "/dev/disk/by-id/";

bool SameNode(const std::string& a, const std::string& b) {
  std::error_code errorA, errorB;
  const auto left = std::filesystem::canonical(a, errorA);
  const auto right = std::filesystem::canonical(b, errorB);
  return !errorA && !errorB && left == right;
}

}  // namespace

bool ResolveDriveName(DriveSource& drives, const std::string& text, unsigned& drive, std::string& error) {
  std::uint64_t number = 0;
  if (ParseNumber(text, kDriveNumberLimit - 1, number)) {
    drive = static_cast<unsigned>(number);
    return true;
  }
  const auto listed = drives.ListDrives();
  for (const DriveFacts& facts : listed) {
    const bool byId = !facts.byId.empty() && (text == facts.byId || text == kByIdFolder + facts.byId);
    if (text == facts.path || byId) {
      drive = facts.number;
      return true;
    }
  }
  // A link to the node (by-path, by-uuid of a whole disk, ...) names the same drive.
  for (const DriveFacts& facts : listed) {
    if (!facts.path.empty() && SameNode(text, facts.path)) {
      drive = facts.number;
      return true;
    }
  }
  error = "--drive takes a drive number from 0 to " + std::to_string(kDriveNumberLimit - 1) +
          ", a device path or a /dev/disk/by-id name; \"" + text + "\" names no drive";
  std::string names;
  for (const DriveFacts& facts : listed) names += (names.empty() ? "" : ", ") + facts.path;
  if (!names.empty()) error += " (drives: " + names + ")";
  return false;
}

}  // namespace rur::cli
