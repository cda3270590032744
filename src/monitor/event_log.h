// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event log: one text file per day (yymmdd.log, CR LF lines) mirrored by the in-memory list
// the viewer follows (the day's file as this writer first found it, then the lines it added).
// Each refresh cycle compares what every device reports with the cycle before and appends a line
// per event. Several programs may share a data folder (the window and a headless monitor): each
// cycle takes a lock on the folder's log and stamps its lines, so the stamps of all writers follow
// each other; the lines go to the end of the file (day_log_file.h), which is never rewritten.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "monitor/day_log_file.h"
#include "monitor/device_changes.h"
#include "monitor/identify_block.h"
#include "monitor/log_event.h"
#include "monitor/status_record.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/drive_numbering.h"

namespace rur {

extern const std::string kSeparatorLine;  // 83 '-'
// The lock every writer of a data folder's day logs takes, in that folder.
constexpr const char* kEventLogLockName = "event-log.lock";

struct LoggedDevice {
  const IdentifyBlock* identity;
  const StatusRecord* record;
  int drive = -1;             // the physical drive, for the events' tags
  bool membersKnown = true;   // the members were read: the record holds real states
  bool capacityKnown = true;  // the array's capacity was read (the record holds 0 until it is)
};

struct AlarmRaise {
  std::uint8_t kind;
  unsigned device;
  unsigned bay;
};

struct EventLogResult {
  std::vector<AlarmRaise> alarms;      // in the order the events were logged
  bool smartThresholdsWanted = false;  // a member was initialized
  // Devices whose status this call took as its starting point: the first look at them.
  std::vector<unsigned> startingPoints;
  bool saved = false;
  std::string saveError;  // set when a save failed after the previous one succeeded
};

class EventLogWriter {
 public:
  using SaveFunction = std::function<bool(const std::string& path, const std::string& contents, std::string& error)>;
  using LoadFunction = std::function<FileReadStatus(const std::string& path, std::string& contents)>;
  // Holds the folder's log lock while the returned object lives; empty (with `error`) when it
  // cannot be had.
  using LockFunction = std::function<std::shared_ptr<void>(std::string& error)>;

  explicit EventLogWriter(std::string folder);
  // Replaces the file functions (tests inject failures here); such writers take no lock.
  void setFileFunctions(SaveFunction save, LoadFunction load);
  void setLockFunction(LockFunction lock) { lock_ = std::move(lock); }

  // One call per refresh cycle. changedMask: bit i set when device i was refreshed this cycle.
  // The time is read once the log is locked, so a writer's stamps follow those already saved.
  EventLogResult WriteEventLog(DeviceMask changedMask, const std::vector<LoggedDevice>& devices,
                               const std::function<LocalDateTime()>& now, bool programStarted);
  EventLogResult WriteEventLog(DeviceMask changedMask, const std::vector<LoggedDevice>& devices,
                               const LocalDateTime& now, bool programStarted) {
    return WriteEventLog(
        changedMask, devices, [&now] { return now; }, programStarted);
  }

  // Lines of a device-list change, logged with the next cycle's time stamp.
  void QueueDeviceChange(const std::string& line, LogEventTag tag = {});
  bool deviceChangesPending() const { return deviceChangesPending_; }
  // A line of some other event (sensors, mail), logged after the next cycle's own lines with
  // that cycle's time stamp appended.
  void QueueLine(const std::string& line, LogEventTag tag = {}) { queuedLines_.push_back({line, tag}); }
  // A line about one device ("Device is not answering"), logged as "D<n> " + text + ", " + stamp.
  void QueueDeviceNote(unsigned device, const std::string& text, LogEventTag tag = {});
  // The device list changed: oldPositionOfNew[j] is the old position of the enclosure now at j,
  // or -1 for a new one. What the log remembers per enclosure moves with it. Given both lists,
  // what it knew of an enclosure that left is kept, and one that comes back later is compared
  // with it instead of starting from nothing.
  void FollowDevices(const std::vector<int>& oldPositionOfNew, const std::vector<KnownEnclosure>& oldList = {},
                     const std::vector<KnownEnclosure>& newList = {});
  // Adds a line to the day's file at once, outside the refresh cycle (what start-up or detection
  // found). False with the error when the file could not be saved; the line is then kept for the
  // next save that succeeds.
  bool AppendLine(const std::string& line, const LocalDateTime& now, std::string& error, LogEventTag tag = {});
  // Told of every line this writer adds, with what it is about, as the line is made.
  void setEventListener(std::function<void(const LogEvent&)> listener) { listener_ = std::move(listener); }

  const std::vector<std::string>& lines() const { return eventLog_; }
  // How many lines this writer made so far: the last ones of lines() are the newest of them.
  std::uint64_t linesAdded() const { return linesAdded_; }
  const std::string& folder() const { return folder_; }
  std::string DayFilePath(const LocalDateTime& day) const;
  // Lines written but not yet saved to their day file, and why the last save failed.
  std::size_t unsavedLineCount() const { return file_.waitingLines(); }
  const std::string& lastSaveError() const { return file_.lastError(); }

 private:
  struct DeviceMemory {
    // The information block waits for the device's first good status: nothing unread is logged.
    bool infoPending = false;
    // The flags of the last look; until the first look with known members there is nothing to
    // compare with, and that look is the starting point.
    bool known = false;
    std::uint8_t prevDriveFlags = 0;
    std::uint8_t lastProgress = 0xFF;
    std::uint8_t activityBay = 0;
  };
  struct Batch {
    std::vector<std::string> lines;
    std::vector<LogEventTag> tags;  // one per line
    // Tags the lines added since the last call.
    void Tag(LogEventTag tag) { tags.resize(lines.size(), tag); }
    void Add(std::string line, LogEventTag tag) {
      lines.push_back(std::move(line));
      Tag(tag);
    }
  };
  struct QueuedLine {
    std::string line;
    LogEventTag tag;
  };
  struct DeviceNote {
    unsigned device;
    std::string text;
    LogEventTag tag;
  };
  void BayTransitions(unsigned device, int drive, std::uint8_t old, const StatusRecord& record,
                      const std::string& stamp, Batch& out, EventLogResult& result);
  void CopiesOntoMembersThatWereIn(unsigned device, int drive, std::uint8_t old, const StatusRecord& record,
                                   const std::string& stamp, Batch& out, EventLogResult& result);
  bool RebuildLines(unsigned device, int drive, const StatusRecord& record, const std::string& stamp, Batch& out);
  void InfoBlock(unsigned device, const LoggedDevice& logged, Batch& out) const;
  void Tell(const Batch& batch, const LocalDateTime& now) const;
  // The shown lines start with the day's file as it is when a writer first writes to that day.
  void ShowDay(const std::string& path);

  std::string folder_;
  DayLogFile file_;
  LoadFunction load_;
  std::string shownPath_;
  std::uint64_t linesAdded_ = 0;
  LockFunction lock_;
  std::vector<std::string> eventLog_;
  std::vector<DeviceMemory> memory_;
  struct DepartedMemory {
    KnownEnclosure enclosure;
    DeviceMemory memory;
  };
  std::vector<DepartedMemory> departed_;  // oldest first, at most one per possible device
  std::vector<QueuedLine> pendingDeviceChanges_;
  std::vector<QueuedLine> queuedLines_;
  bool deviceChangesPending_ = false;
  std::vector<DeviceNote> deviceNotes_;
  std::function<void(const LogEvent&)> listener_;
};

// The line a bay's state is logged with where it is new to the log, without its time stamp:
// "D1 HDD2 was removed, 05", "D1 HDD2 was failed, Capacity too small.09", "D1 HDD2 was inserted, 06",
// "D1 HDD2 was initialized, (SATA), 00"; empty for a bay with no state.
struct MemberStateLine {
  std::string text;
  LogEventKind kind = LogEventKind::Info;
};
MemberStateLine MemberStateLineOf(unsigned device, unsigned bay, const StatusRecord& record);

// CR LF lines of a log file, and back.
std::vector<std::string> SplitLogLines(const std::string& contents);
std::string JoinLogLines(const std::vector<std::string>& lines);

}  // namespace rur
