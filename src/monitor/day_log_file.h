// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the day logs reach the disk: each batch of lines is added to the end of its day's file in
// one write (O_APPEND), so the cost of a line does not grow with the day, another writer's lines
// are never overwritten, and a crash can at worst lose the batch being written, never the day.
// The file is never read back here.
//
// Lines that cannot be written (a full or read-only disk) wait in memory, oldest first, and are
// tried again at most once a minute, so a folder that takes no writes for weeks costs one failed
// write a minute. Past a cap of a few MB the oldest waiting lines are dropped and counted; once a
// write works again a line says how many were lost.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/atomic_file.h"

namespace rur {

// The most waiting lines kept, in bytes of text.
constexpr std::size_t kDayLogWaitingCapBytes = 4u << 20;
// The shortest time between two tries of waiting lines, in seconds.
constexpr std::int64_t kDayLogRetrySeconds = 60;

class DayLogFile {
 public:
  // Adds `text` (whole CR LF lines) to the end of the file at `path`, creating it; false with the
  // error when nothing of it was added.
  using AppendFunction = std::function<bool(const std::string& path, const std::string& text, std::string& error)>;
  // Whether a day's file exists, without reading it.
  using ProbeFunction = std::function<FileReadStatus(const std::string& path)>;

  DayLogFile();
  void setFunctions(AppendFunction append, ProbeFunction probe);

  // Queues `lines` for `path` and writes what waits, unless the last failure was less than a
  // minute before `nowSeconds` (and the lines wait with the rest). `stamp` ends the line that
  // tells of dropped lines. True when nothing waits afterwards.
  bool Add(const std::string& path, std::vector<std::string> lines, std::int64_t nowSeconds, const std::string& stamp);
  // Writes what waits when a minute has passed since the last failure.
  bool Retry(std::int64_t nowSeconds, const std::string& stamp) { return Add({}, {}, nowSeconds, stamp); }

  FileReadStatus Probe(const std::string& path) const { return probe_(path); }
  bool waitingFor(const std::string& path) const;
  std::size_t waitingLines() const;
  std::uint64_t droppedLines() const { return dropped_; }
  const std::string& lastError() const { return lastError_; }
  // Whether the last write failed.
  bool failing() const { return failing_; }

 private:
  struct Waiting {
    std::string path;
    std::vector<std::string> lines;
  };
  void DropOldest();
  bool WriteWaiting(const std::string& stamp);

  AppendFunction append_;
  ProbeFunction probe_;
  std::vector<Waiting> waiting_;  // per day file, oldest first
  std::size_t waitingBytes_ = 0;
  std::uint64_t dropped_ = 0;  // dropped since the last line that told of it
  bool failing_ = false;
  std::int64_t lastFailureSeconds_ = 0;
  std::string lastError_;
};

// The production append (AppendWholeLines), a new day's file made 0640: it holds the alarms of the
// host's disks, for the owner and the group only.
bool AppendToDayLog(const std::string& path, const std::string& text, std::string& error);
FileReadStatus ProbeDayLog(const std::string& path);

}  // namespace rur
