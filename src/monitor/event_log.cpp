// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/event_log.h"

#include <algorithm>
#include <filesystem>

#include "monitor/device_info_block.h"
#include "platform/appended_file.h"
#include "platform/atomic_file.h"
#include "platform/branding.h"
#include "platform/date_time_text.h"
#include "platform/file_lock.h"
#include "platform/safe_text.h"

namespace rur {

const std::string kSeparatorLine(83, '-');

namespace {

constexpr std::uint8_t kNoProgress = 0xFF;
constexpr std::uint8_t kAbsentStateCode = 0x05;    // what the controller reports for an empty bay
constexpr std::uint8_t kInsertedStateCode = 0x06;  // and for a disk put in, not yet in the array
constexpr std::uint8_t kLastStepBeforeDone = 99;

// Which way a copy of a mirror runs, by the bay it copies onto.
const char* CopyDirection(unsigned bay) { return bay == 0 ? " HDD2 --> HDD1 " : " HDD1 --> HDD2 "; }

struct BayBits {
  const char* name;
  std::uint8_t absent, present, failed, inserted;
  std::size_t stateCode;
  const char* initialized;  // the two bays have always spelt this line differently
};
constexpr BayBits kBays[2] = {
    {"HDD1", kHdd1Absent, kHdd1Present, kHdd1Failed, kHdd1Inserted, status_offset::kHdd1StateCode,
     " HDD1 was initialized (SATA), "},
    {"HDD2", kHdd2Absent, kHdd2Present, kHdd2Failed, kHdd2Inserted, status_offset::kHdd2StateCode,
     " HDD2 was initialized, (SATA), "},
};

FileReadStatus DefaultLoad(const std::string& path, std::string& contents) {
  std::string error;
  return ReadWholeFile(path, contents, error);
}

// Real time a writer waits for another one's save.
constexpr unsigned kLockWaitMs = 2000;

}  // namespace

std::vector<std::string> SplitLogLines(const std::string& contents) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < contents.size()) {
    std::size_t end = contents.find('\n', start);
    if (end == std::string::npos) end = contents.size();
    std::string line = contents.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string JoinLogLines(const std::vector<std::string>& lines) {
  std::string contents;
  for (const auto& line : lines) contents += line + "\r\n";
  return contents;
}

MemberStateLine MemberStateLineOf(unsigned device, unsigned bay, const StatusRecord& record) {
  const BayBits& b = kBays[bay & 1u];
  const std::uint8_t flags = record[status_offset::kDriveFlags];
  const std::string n = "D" + std::to_string(device + 1) + " " + b.name;
  const std::string code = StateCodeHex(record[b.stateCode]);
  if (flags & b.absent) return {n + " was removed, " + code, LogEventKind::MemberRemoved};
  if (flags & b.present)
    return {"D" + std::to_string(device + 1) + b.initialized + code, LogEventKind::MemberInitialized};
  if (flags & b.failed) return {n + " was failed, Capacity too small." + code, LogEventKind::MemberFailed};
  if (flags & b.inserted) return {n + " was inserted, " + code, LogEventKind::MemberInserted};
  return {};
}

EventLogWriter::EventLogWriter(std::string folder) : folder_(std::move(folder)), load_(DefaultLoad) {
  lock_ = [lockPath = (std::filesystem::path(folder_) / kEventLogLockName).generic_string()](std::string& error) {
    return std::shared_ptr<void>(FileLock::Acquire(lockPath, kLockWaitMs, error));
  };
}

void EventLogWriter::setFileFunctions(SaveFunction save, LoadFunction load) {
  // An append over whole-file functions: what the file holds, then the new lines.
  file_.setFunctions(
      [save, load](const std::string& path, const std::string& text, std::string& error) {
        std::string contents;
        if (load(path, contents) == FileReadStatus::Failed) {
          error = "cannot read " + path;
          return false;
        }
        const char* ending = contents.empty() ? "" : LineEndAfter(contents.back());
        return save(path, contents + ending + text, error);
      },
      [load](const std::string& path) {
        std::string contents;
        return load(path, contents);
      });
  load_ = std::move(load);
  lock_ = [](std::string&) { return std::make_shared<int>(0); };
}

std::string EventLogWriter::DayFilePath(const LocalDateTime& day) const {
  return (std::filesystem::path(folder_) / (DayFileStem(day) + ".log")).generic_string();
}

void EventLogWriter::QueueDeviceChange(const std::string& line, LogEventTag tag) {
  pendingDeviceChanges_.push_back({line, tag});
  deviceChangesPending_ = true;
}

void EventLogWriter::QueueDeviceNote(unsigned device, const std::string& text, LogEventTag tag) {
  deviceNotes_.push_back({device, text, tag});
}

void EventLogWriter::Tell(const Batch& batch, const LocalDateTime& now) const {
  if (!listener_) return;
  for (std::size_t i = 0; i < batch.lines.size(); ++i) listener_(LogEvent{batch.tags[i], batch.lines[i], now, 0});
}

void EventLogWriter::FollowDevices(const std::vector<int>& oldPositionOfNew, const std::vector<KnownEnclosure>& oldList,
                                   const std::vector<KnownEnclosure>& newList) {
  std::vector<DeviceMemory> followed(oldPositionOfNew.size());
  std::vector<DeviceNote> notes;
  std::vector<bool> carried(memory_.size(), false);
  for (const int old : oldPositionOfNew)
    if (old >= 0 && static_cast<std::size_t>(old) < carried.size()) carried[static_cast<std::size_t>(old)] = true;
  for (std::size_t k = 0; k < memory_.size() && k < oldList.size(); ++k) {
    if (carried[k] || !memory_[k].known) continue;
    departed_.push_back({oldList[k], memory_[k]});
    if (departed_.size() > kMaxPhysicalDrives) departed_.erase(departed_.begin());
  }
  for (std::size_t j = 0; j < oldPositionOfNew.size(); ++j) {
    const int old = oldPositionOfNew[j];
    if (old < 0) {
      if (j >= newList.size()) continue;
      const auto back = std::find_if(departed_.begin(), departed_.end(), [&](const DepartedMemory& gone) {
        return SameEnclosure(gone.enclosure, newList[j]);
      });
      if (back == departed_.end()) continue;
      followed[j] = back->memory;
      departed_.erase(back);
      continue;
    }
    if (static_cast<std::size_t>(old) < memory_.size()) followed[j] = memory_[static_cast<std::size_t>(old)];
    for (const auto& note : deviceNotes_)
      if (note.device == static_cast<unsigned>(old)) notes.push_back({static_cast<unsigned>(j), note.text, note.tag});
  }
  memory_ = std::move(followed);
  deviceNotes_ = std::move(notes);
}

void EventLogWriter::ShowDay(const std::string& path) {
  if (path == shownPath_) return;
  shownPath_ = path;
  std::string contents;
  eventLog_ = load_(path, contents) == FileReadStatus::Ok ? SplitLogLines(contents) : std::vector<std::string>{};
}

bool EventLogWriter::AppendLine(const std::string& text, const LocalDateTime& now, std::string& error,
                                LogEventTag tag) {
  const std::string line = LogLineText(text);
  if (listener_) listener_(LogEvent{tag, line, now, 0});
  std::string lockError;
  const std::shared_ptr<void> lock = lock_(lockError);
  const std::string path = DayFilePath(now);
  ShowDay(path);
  // Shown at once; kept for the next write that succeeds when this one fails.
  eventLog_.push_back(line);
  ++linesAdded_;
  if (file_.Add(path, {line}, CivilSeconds(now), FormatDateTime(now))) return true;
  error = file_.lastError();
  return false;
}

EventLogResult EventLogWriter::WriteEventLog(DeviceMask changedMask, const std::vector<LoggedDevice>& devices,
                                             const std::function<LocalDateTime()>& clockNow, bool programStarted) {
  EventLogResult result;
  std::string lockError;
  const std::shared_ptr<void> lock = lock_(lockError);
  const LocalDateTime now = clockNow();
  const std::string stamp = FormatDateTime(now);
  const std::string path = DayFilePath(now);
  const unsigned count = static_cast<unsigned>(devices.size());
  if (memory_.size() < count) memory_.resize(count);
  bool reopened = false;

  ShowDay(path);
  Batch batch;  // this call's lines
  constexpr LogEventTag kBanner{LogEventKind::Banner};
  if (file_.Probe(path) == FileReadStatus::Missing && !file_.waitingFor(path)) {
    // A new day, or the day's file was deleted.
    if (!programStarted) batch.Add(kSeparatorLine, kBanner);
    reopened = true;
  }

  // A start, a new device list or a new day writes the information blocks again; what changed on
  // the members is still reported against the last look, so nothing is skipped at such a cycle.
  if (programStarted) {
    batch.Add(kSeparatorLine, kBanner);
    batch.Add(std::string(ApplicationTitle) + " has started from " + stamp, kBanner);
    reopened = true;
  } else if (deviceChangesPending_) {
    batch.Add(kSeparatorLine, kBanner);
    for (const auto& change : pendingDeviceChanges_) batch.Add(change.line + stamp, change.tag);
    pendingDeviceChanges_.clear();
    deviceChangesPending_ = false;
    reopened = true;
  }

  if (reopened) {
    for (unsigned i = 0; i < count; ++i) {
      if (!(changedMask & DeviceBit(i))) continue;
      memory_[i].infoPending = !devices[i].membersKnown;
      if (!memory_[i].infoPending) InfoBlock(i, devices[i], batch);
    }
    batch.Add(kSeparatorLine, kBanner);
  }

  for (unsigned i = 0; i < count; ++i) {
    for (const auto& note : deviceNotes_) {
      if (note.device != i) continue;
      LogEventTag tag = note.tag;
      tag.device = static_cast<int>(i);
      batch.Add("D" + std::to_string(i + 1) + " " + note.text + ", " + stamp, tag);
    }
    if (!(changedMask & DeviceBit(i))) continue;
    const StatusRecord& record = *devices[i].record;
    const std::uint8_t flags = record[status_offset::kDriveFlags];
    DeviceMemory& memory = memory_[i];
    if (!devices[i].membersKnown) continue;
    if (memory.infoPending || !memory.known) {
      // The first good status: what it says is the starting point, not a change.
      if (memory.infoPending) InfoBlock(i, devices[i], batch);
      memory.infoPending = false;
      memory.known = true;
      memory.prevDriveFlags = flags;
      result.startingPoints.push_back(i);
    } else {
      const std::uint8_t old = memory.prevDriveFlags;
      memory.prevDriveFlags = flags;
      if (old != flags) BayTransitions(i, devices[i].drive, old, record, stamp, batch, result);
      CopiesOntoMembersThatWereIn(i, devices[i].drive, old, record, stamp, batch, result);
    }
    RebuildLines(i, devices[i].drive, record, stamp, batch);
  }
  for (const auto& queued : queuedLines_) batch.Add(queued.line + stamp, queued.tag);
  queuedLines_.clear();
  deviceNotes_.clear();
  // A text a device chose never breaks a line nor reaches a terminal that shows the file.
  for (std::string& line : batch.lines) line = LogLineText(line);

  Tell(batch, now);
  eventLog_.insert(eventLog_.end(), batch.lines.begin(), batch.lines.end());
  linesAdded_ += batch.lines.size();
  if (!batch.lines.empty() || file_.waitingLines() != 0) {
    const bool wasFailing = file_.failing();
    if (file_.Add(path, std::move(batch.lines), CivilSeconds(now), stamp)) {
      result.saved = true;
    } else if (!wasFailing && file_.failing()) {
      result.saveError = file_.lastError();
    }
  }
  return result;
}

void EventLogWriter::InfoBlock(unsigned device, const LoggedDevice& logged, Batch& out) const {
  BuildDeviceInfoBlock(device, *logged.identity, *logged.record, InfoForm::Log, 0, out.lines, logged.capacityKnown);
  out.Tag({LogEventKind::Info, static_cast<int>(device), logged.drive});
}

void EventLogWriter::BayTransitions(unsigned device, int drive, std::uint8_t old, const StatusRecord& record,
                                    const std::string& stamp, Batch& out, EventLogResult& result) {
  const std::string n = "D" + std::to_string(device + 1);
  const std::uint8_t flags = record[status_offset::kDriveFlags];
  const DeviceMemory& memory = memory_[device];
  for (unsigned bay = 0; bay < 2; ++bay) {
    const BayBits& b = kBays[bay];
    const std::string name = b.name;
    auto tag = [&](LogEventKind kind) { return LogEventTag{kind, static_cast<int>(device), drive, bay + 1}; };
    auto add = [&](LogEventKind kind) {
      const MemberStateLine line = MemberStateLineOf(device, bay, record);
      out.Add(line.text + stamp, tag(kind));
    };
    if (flags & b.absent) {
      if (old & b.absent) continue;
      add(LogEventKind::MemberRemoved);
      result.alarms.push_back({kAlarmMemberRemoved, device, bay});
    } else if (flags & b.present) {
      if (old & b.present) continue;
      // Empty at the last look and in the array now: the disk was put in between.
      if (old & b.absent)
        out.Add(n + " " + name + " was inserted, " + StateCodeHex(kInsertedStateCode) + stamp,
                tag(LogEventKind::MemberInserted));
      add(LogEventKind::MemberInitialized);
      AppendMemberDetails(record, static_cast<int>(bay + 1), "  ", out.lines);
      out.Tag(tag(LogEventKind::Info));
      result.smartThresholdsWanted = true;
      // A disk put into a mirror is copied onto before it is taken in: a copy that began and
      // ended between two looks still ended.
      const bool copying = record[status_offset::kActivityFlags] & (kHdd1Rebuilding | kHdd2Rebuilding);
      if ((old & (b.inserted | b.absent)) && !copying && memory.lastProgress == kNoProgress &&
          record[status_offset::kArrayMode] == kModeMirroring)
        out.Add(n + CopyDirection(bay) + "Done, " + stamp, tag(LogEventKind::RebuildDone));
    } else if (flags & b.failed) {
      if (old & b.failed) continue;
      add(LogEventKind::MemberFailed);
      AppendMemberDetails(record, static_cast<int>(bay + 1), "  ", out.lines);
      out.Tag(tag(LogEventKind::Info));
      // A disk that fails in its bay is as much lost to the array as one pulled out.
      result.alarms.push_back({kAlarmMemberRemoved, device, bay});
    } else if (flags & b.inserted) {
      if (old & b.inserted) continue;
      // The disk a copy was running onto, given up by the controller because the copy's source
      // left: it never left its bay, and the copy's end says what happened.
      const bool copyGivenUp =
          memory.lastProgress != kNoProgress && memory.activityBay == bay && !(flags & kBays[1 - bay].present);
      if (copyGivenUp) continue;
      if (old & b.present) {
        // In the array at the last look and newly inserted now: the disk was out in between.
        out.Add(n + " " + name + " was removed, " + StateCodeHex(kAbsentStateCode) + stamp,
                tag(LogEventKind::MemberRemoved));
        result.alarms.push_back({kAlarmMemberRemoved, device, bay});
      }
      add(LogEventKind::MemberInserted);
    }
  }
}

void EventLogWriter::CopiesOntoMembersThatWereIn(unsigned device, int drive, std::uint8_t old,
                                                 const StatusRecord& record, const std::string& stamp, Batch& out,
                                                 EventLogResult& result) {
  // A copy starts only onto a disk put into a bay. One that was in the array at the last look,
  // with no copy running then, and is being copied onto now was taken out, put back and taken in
  // between two looks: its removal (and alarm) and its return happened all the same.
  if (memory_[device].lastProgress != kNoProgress) return;
  const std::uint8_t activity = record[status_offset::kActivityFlags];
  const std::uint8_t flags = record[status_offset::kDriveFlags];
  for (unsigned bay = 0; bay < 2; ++bay) {
    const BayBits& b = kBays[bay];
    const std::uint8_t copyOnto = bay == 0 ? kHdd1Rebuilding : kHdd2Rebuilding;
    if (!(old & b.present) || !(flags & b.present) || !(activity & copyOnto)) continue;
    const std::string n = "D" + std::to_string(device + 1);
    auto tag = [&](LogEventKind kind) { return LogEventTag{kind, static_cast<int>(device), drive, bay + 1}; };
    out.Add(n + " " + b.name + " was removed, " + StateCodeHex(kAbsentStateCode) + stamp,
            tag(LogEventKind::MemberRemoved));
    result.alarms.push_back({kAlarmMemberRemoved, device, bay});
    out.Add(n + " " + b.name + " was inserted, " + StateCodeHex(kInsertedStateCode) + stamp,
            tag(LogEventKind::MemberInserted));
    out.Add(n + b.initialized + StateCodeHex(record[b.stateCode]) + stamp, tag(LogEventKind::MemberInitialized));
    AppendMemberDetails(record, static_cast<int>(bay + 1), "  ", out.lines);
    out.Tag(tag(LogEventKind::Info));
    result.smartThresholdsWanted = true;
  }
}

bool EventLogWriter::RebuildLines(unsigned device, int drive, const StatusRecord& record, const std::string& stamp,
                                  Batch& out) {
  // The bay being rebuilt: the one that receives the copy.
  auto tag = [&](LogEventKind kind, std::uint8_t bay) {
    return LogEventTag{kind, static_cast<int>(device), drive, bay + 1u};
  };
  const std::string n = "D" + std::to_string(device + 1);
  DeviceMemory& memory = memory_[device];
  const std::uint8_t activity = record[status_offset::kActivityFlags];
  const std::uint8_t progress = record[status_offset::kActivityProgress];
  const std::uint8_t flags = record[status_offset::kDriveFlags];
  const auto direction = CopyDirection;
  if (activity & (kHdd1Rebuilding | kHdd2Rebuilding)) {
    const std::uint8_t bay = (activity & kHdd1Rebuilding) ? 0 : 1;
    // A copy whose source is out of the array copies nothing more, whatever the controller says.
    if (!(flags & kBays[1 - bay].present)) {
      if (memory.lastProgress == kNoProgress) return false;
      out.Add(n + direction(memory.activityBay) + "Aborted, " + stamp,
              tag(LogEventKind::RebuildAborted, memory.activityBay));
      memory.lastProgress = kNoProgress;
      return true;
    }
    if (memory.lastProgress != kNoProgress && memory.lastProgress == progress) return false;
    memory.lastProgress = progress;
    memory.activityBay = bay;
    out.Add(n + direction(memory.activityBay) + std::to_string(progress) + "%, " + stamp,
            tag(LogEventKind::RebuildProgress, memory.activityBay));
    return true;
  }
  if (memory.lastProgress == kNoProgress) return false;
  // The copy has ended. Its target in the array means it finished, even when the other disk left
  // in the same cycle; otherwise it was cut short.
  const bool bothPresent = (flags & kBothPresent) == kBothPresent;
  if (bothPresent && memory.lastProgress != kLastStepBeforeDone) {
    out.Add(n + " HDD1 OK, HDD2 OK, " + stamp, tag(LogEventKind::RebuildDone, memory.activityBay));
  } else if (flags & kBays[memory.activityBay].present) {
    out.Add(n + direction(memory.activityBay) + "Done, " + stamp, tag(LogEventKind::RebuildDone, memory.activityBay));
  } else {
    out.Add(n + direction(memory.activityBay) + "Aborted, " + stamp,
            tag(LogEventKind::RebuildAborted, memory.activityBay));
  }
  memory.lastProgress = kNoProgress;
  return true;
}

}  // namespace rur
