// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/day_log_file.h"

#include "monitor/event_log.h"
#include "platform/appended_file.h"

namespace rur {

bool AppendToDayLog(const std::string& path, const std::string& text, std::string& error) {
  constexpr mode_t kDayLogMode = 0640;
  return AppendWholeLines(path, text, kDayLogMode, error);
}

FileReadStatus ProbeDayLog(const std::string& path) { return ProbeFile(path); }

DayLogFile::DayLogFile() : append_(AppendToDayLog), probe_(ProbeDayLog) {}

void DayLogFile::setFunctions(AppendFunction append, ProbeFunction probe) {
  append_ = std::move(append);
  probe_ = std::move(probe);
}

bool DayLogFile::waitingFor(const std::string& path) const {
  for (const auto& day : waiting_)
    if (day.path == path && !day.lines.empty()) return true;
  return false;
}

std::size_t DayLogFile::waitingLines() const {
  std::size_t count = 0;
  for (const auto& day : waiting_) count += day.lines.size();
  return count;
}

void DayLogFile::DropOldest() {
  while (waitingBytes_ > kDayLogWaitingCapBytes && !waiting_.empty()) {
    auto& oldest = waiting_.front();
    if (oldest.lines.empty()) {
      waiting_.erase(waiting_.begin());
      continue;
    }
    waitingBytes_ -= oldest.lines.front().size() + 2;
    oldest.lines.erase(oldest.lines.begin());
    ++dropped_;
  }
}

bool DayLogFile::Add(const std::string& path, std::vector<std::string> lines, std::int64_t nowSeconds,
                     const std::string& stamp) {
  if (!lines.empty()) {
    Waiting* day = waiting_.empty() || waiting_.back().path != path ? nullptr : &waiting_.back();
    if (day == nullptr) day = &waiting_.emplace_back(Waiting{path, {}});
    for (auto& line : lines) {
      waitingBytes_ += line.size() + 2;
      day->lines.push_back(std::move(line));
    }
    DropOldest();
  }
  if (waiting_.empty()) return true;
  // A clock set back counts as a minute gone.
  if (failing_ && nowSeconds >= lastFailureSeconds_ && nowSeconds - lastFailureSeconds_ < kDayLogRetrySeconds)
    return false;
  if (WriteWaiting(stamp)) {
    failing_ = false;
    return true;
  }
  failing_ = true;
  lastFailureSeconds_ = nowSeconds;
  return false;
}

bool DayLogFile::WriteWaiting(const std::string& stamp) {
  // After a failure the oldest line goes first, alone: a folder that still takes no writes costs
  // one short write a minute rather than the whole backlog's.
  bool probe = failing_;
  while (!waiting_.empty()) {
    Waiting& day = waiting_.front();
    if (day.lines.empty()) {
      waiting_.erase(waiting_.begin());
      continue;
    }
    const std::size_t count = probe ? 1 : day.lines.size();
    std::vector<std::string> text(day.lines.begin(), day.lines.begin() + static_cast<std::ptrdiff_t>(count));
    // Told in the file the lines went to, after them, once a write works again.
    const bool tellDropped = dropped_ != 0 && count == day.lines.size();
    if (tellDropped)
      text.push_back(std::to_string(dropped_) + " earlier log line" + (dropped_ == 1 ? " was" : "s were") +
                     " dropped while the folder took no writes, " + stamp);
    std::string error;
    if (!append_(day.path, JoinLogLines(text), error)) {
      lastError_ = error.empty() ? "cannot write " + day.path : error;
      return false;
    }
    if (tellDropped) dropped_ = 0;
    for (std::size_t n = 0; n < count; ++n) waitingBytes_ -= day.lines[n].size() + 2;
    day.lines.erase(day.lines.begin(), day.lines.begin() + static_cast<std::ptrdiff_t>(count));
    probe = false;
  }
  return true;
}

}  // namespace rur
