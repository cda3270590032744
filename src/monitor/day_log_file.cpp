// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/day_log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "monitor/event_log.h"

namespace rur {
namespace {

// A day log holds the alarms of the host's disks: readable by the owner and the group, not by all.
constexpr mode_t kDayLogMode = 0640;

std::string ErrnoText(const std::string& what, const std::string& path, int code) {
  return "cannot " + what + " " + path + ": " + std::strerror(code);
}

int OpenForAppending(const std::string& path, std::string& error) {
  constexpr int kFlags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, kDayLogMode);
  if (fd >= 0) {
    // The mode must not depend on the umask of whoever made the day's first line.
    ::fchmod(fd, kDayLogMode);
    return fd;
  }
  if (errno == EEXIST) fd = ::open(path.c_str(), kFlags);
  if (fd < 0) {
    error = errno == ELOOP ? "cannot write " + path + ": it is a symbolic link, which is not followed"
                           : ErrnoText("write", path, errno);
    return -1;
  }
  if (!IsRegularFile(fd, path, "write", error)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool AppendToDayLog(const std::string& path, const std::string& text, std::string& error) {
  const int fd = OpenForAppending(path, error);
  if (fd < 0) return false;
  struct stat before {};
  ::fstat(fd, &before);
  // A file whose last line was left unended (by a hand, or a program cut off) gets its end first,
  // so the first new line is not glued to it.
  char last = '\n';
  const std::string whole =
      before.st_size > 0 && ::pread(fd, &last, 1, before.st_size - 1) == 1 && last != '\n' ? "\r\n" + text : text;
  ssize_t written = 0;
  do {
    written = ::write(fd, whole.data(), whole.size());
  } while (written < 0 && errno == EINTR);
  const int code = errno;
  bool ok = written == static_cast<ssize_t>(whole.size());
  if (!ok) {
    error = written < 0 ? ErrnoText("write", path, code) : "cannot write " + path + ": the disk is full";
    // A part of the lines went in: take it back unless someone wrote after it, so the retry
    // starts on a whole line.
    struct stat after {};
    if (written > 0 && ::fstat(fd, &after) == 0 && after.st_size == before.st_size + written)
      (void)::ftruncate(fd, before.st_size);
  }
  if (::close(fd) != 0 && ok) {
    error = ErrnoText("write", path, errno);
    ok = false;
  }
  return ok;
}

FileReadStatus ProbeDayLog(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) return FileReadStatus::Ok;
  return errno == ENOENT ? FileReadStatus::Missing : FileReadStatus::Failed;
}

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
