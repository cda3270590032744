// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/event_log.h"

#include <algorithm>
#include <filesystem>

#include "monitor/device_info_block.h"
#include "platform/atomic_file.h"
#include "platform/branding.h"
#include "platform/date_time_text.h"

namespace rur {

const std::string kSeparatorLine(83, '-');

namespace {

constexpr std::uint8_t kNoProgress = 0xFF;
constexpr std::uint8_t kLastStepBeforeDone = 99;

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

bool DefaultLoad(const std::string& path, std::string& contents) {
  std::string error;
  return ReadWholeFile(path, contents, error) == FileReadStatus::Ok;
}

bool DefaultSave(const std::string& path, const std::string& contents, std::string& error) {
  return WriteFileAtomically(path, contents, 0666, error);
}

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

EventLogWriter::EventLogWriter(std::string folder)
    : folder_(std::move(folder)), save_(DefaultSave), load_(DefaultLoad) {}

void EventLogWriter::setFileFunctions(SaveFunction save, LoadFunction load) {
  save_ = std::move(save);
  load_ = std::move(load);
}

std::string EventLogWriter::DayFilePath(const LocalDateTime& day) const {
  return (std::filesystem::path(folder_) / (DayFileStem(day) + ".log")).string();
}

void EventLogWriter::QueueDeviceChange(const std::string& line) {
  pendingDeviceChanges_.push_back(line);
  deviceChangesPending_ = true;
}

EventLogResult EventLogWriter::WriteEventLog(std::uint8_t changedMask, const std::vector<LoggedDevice>& devices,
                                             const LocalDateTime& now, bool programStarted) {
  EventLogResult result;
  const std::string stamp = FormatDateTime(now);
  const std::string path = DayFilePath(now);
  const unsigned count = std::min<unsigned>(static_cast<unsigned>(devices.size()), kLoggedDevices);
  bool changed = false;
  bool reopened = false;

  std::string contents;
  const bool sameDay = path == loadedPath_;
  if (load_(path, contents)) {
    // Another day's lines in memory must not overwrite this day's file: read it back instead.
    if (eventLog_.empty() || !sameDay) eventLog_ = SplitLogLines(contents);
  } else if (unsaved_ && sameDay) {
    // The folder refused the last save: keep today's lines and try again below.
  } else {
    eventLog_.clear();
    if (!programStarted) eventLog_.push_back(kSeparatorLine);
    reopened = true;
  }
  loadedPath_ = path;

  auto rememberFlags = [&] {
    for (unsigned i = 0; i < count; ++i) memory_[i].prevDriveFlags = (*devices[i].record)[status_offset::kDriveFlags];
  };
  if (programStarted) {
    eventLog_.push_back(kSeparatorLine);
    eventLog_.push_back(std::string(ApplicationTitle) + " has started from " + stamp);
    reopened = true;
    rememberFlags();
  } else if (deviceChangesPending_) {
    eventLog_.push_back(kSeparatorLine);
    for (const auto& line : pendingDeviceChanges_) eventLog_.push_back(line + stamp);
    pendingDeviceChanges_.clear();
    deviceChangesPending_ = false;
    reopened = true;
    rememberFlags();
  }

  if (reopened) {
    for (unsigned i = 0; i < count; ++i)
      if (changedMask & (1u << i))
        BuildDeviceInfoBlock(i, *devices[i].identity, *devices[i].record, InfoForm::Log, 0, eventLog_);
    eventLog_.push_back(kSeparatorLine);
    changed = true;
  }

  for (unsigned i = 0; i < count; ++i) {
    if (!(changedMask & (1u << i))) continue;
    const StatusRecord& record = *devices[i].record;
    const std::uint8_t flags = record[status_offset::kDriveFlags];
    DeviceMemory& memory = memory_[i];
    if (!reopened && memory.prevDriveFlags != flags) {
      const std::uint8_t old = memory.prevDriveFlags == 0xFF ? 0 : memory.prevDriveFlags;
      memory.prevDriveFlags = flags;
      changed = true;
      BayTransitions(i, old, record, stamp, result);
    }
    if (RebuildLines(i, record, stamp)) changed = true;
  }

  if (changed || unsaved_) {
    std::string error;
    if (save_(path, JoinLogLines(eventLog_), error)) {
      unsaved_ = false;
      result.saved = true;
    } else {
      if (!unsaved_) result.saveError = error;
      unsaved_ = true;
    }
  }
  return result;
}

void EventLogWriter::BayTransitions(unsigned device, std::uint8_t old, const StatusRecord& record,
                                    const std::string& stamp, EventLogResult& result) {
  const std::string n = "D" + std::to_string(device + 1);
  const std::uint8_t flags = record[status_offset::kDriveFlags];
  for (unsigned bay = 0; bay < 2; ++bay) {
    const BayBits& b = kBays[bay];
    const std::string code = StateCodeHex(record[b.stateCode]);
    const std::string name = b.name;
    if (flags & b.absent) {
      if (old & b.absent) continue;
      eventLog_.push_back(n + " " + name + " was removed, " + code + stamp);
      result.alarms.push_back({kAlarmMemberRemoved, device, bay});
    } else if (flags & b.present) {
      if (old & b.present) continue;
      eventLog_.push_back(n + b.initialized + code + stamp);
      AppendMemberDetails(record, static_cast<int>(bay + 1), "  ", eventLog_);
      result.smartThresholdsWanted = true;
    } else if (flags & b.failed) {
      if (old & b.failed) continue;
      eventLog_.push_back(n + " " + name + " was failed, Capacity too small." + code + stamp);
      AppendMemberDetails(record, static_cast<int>(bay + 1), "  ", eventLog_);
    } else if (flags & b.inserted) {
      if (old & b.inserted) continue;
      eventLog_.push_back(n + " " + name + " was inserted, " + code + stamp);
    }
  }
}

bool EventLogWriter::RebuildLines(unsigned device, const StatusRecord& record, const std::string& stamp) {
  const std::string n = "D" + std::to_string(device + 1);
  DeviceMemory& memory = memory_[device];
  const std::uint8_t activity = record[status_offset::kActivityFlags];
  const std::uint8_t progress = record[status_offset::kActivityProgress];
  auto direction = [](std::uint8_t bay) { return bay == 0 ? " HDD2 --> HDD1 " : " HDD1 --> HDD2 "; };
  if (activity & (kHdd1Rebuilding | kHdd2Rebuilding)) {
    if (memory.lastProgress != kNoProgress && memory.lastProgress == progress) return false;
    memory.lastProgress = progress;
    memory.activityBay = (activity & kHdd1Rebuilding) ? 0 : 1;
    eventLog_.push_back(n + direction(memory.activityBay) + std::to_string(progress) + "%, " + stamp);
    return true;
  }
  if (memory.lastProgress == kNoProgress) return false;
  bool added = false;
  if ((record[status_offset::kDriveFlags] & kBothPresent) == kBothPresent) {
    if (memory.lastProgress == kLastStepBeforeDone) {
      eventLog_.push_back(n + direction(memory.activityBay) + "Done, " + stamp);
    } else {
      eventLog_.push_back(n + " HDD1 OK, HDD2 OK, " + stamp);
    }
    added = true;
  }
  memory.lastProgress = kNoProgress;
  return added;
}

}  // namespace rur
