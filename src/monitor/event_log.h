// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event log: one text file per day (yymmdd.log, CR LF lines) mirrored by the in-memory list
// the viewer follows. Each refresh cycle compares what every device reports with the cycle before
// and appends a line per event; the whole file is then saved again, atomically, so a crash leaves
// the previous file intact. When the folder cannot be written the lines stay in memory and are
// saved with the next change that succeeds.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "monitor/identify_block.h"
#include "monitor/status_record.h"
#include "platform/clock.h"

namespace rur {

constexpr unsigned kLoggedDevices = 4;
extern const std::string kSeparatorLine;  // 83 '-'

struct LoggedDevice {
  const IdentifyBlock* identity;
  const StatusRecord* record;
};

struct AlarmRaise {
  std::uint8_t kind;
  unsigned device;
  unsigned bay;
};

struct EventLogResult {
  std::vector<AlarmRaise> alarms;  // in the order the events were logged
  bool smartThresholdsWanted = false;  // a member was initialized
  bool saved = false;
  std::string saveError;  // set when a save failed after the previous one succeeded
};

class EventLogWriter {
 public:
  using SaveFunction = std::function<bool(const std::string& path, const std::string& contents, std::string& error)>;
  using LoadFunction = std::function<bool(const std::string& path, std::string& contents)>;  // false: no file

  explicit EventLogWriter(std::string folder);
  // Replaces the file functions (tests inject failures here).
  void setFileFunctions(SaveFunction save, LoadFunction load);

  // One call per refresh cycle. changedMask: bit i set when device i was refreshed this cycle.
  EventLogResult WriteEventLog(std::uint8_t changedMask, const std::vector<LoggedDevice>& devices,
                               const LocalDateTime& now, bool programStarted);

  // Lines of a device-list change, logged with the next cycle's time stamp.
  void QueueDeviceChange(const std::string& line);
  bool deviceChangesPending() const { return deviceChangesPending_; }

  const std::vector<std::string>& lines() const { return eventLog_; }
  const std::string& folder() const { return folder_; }
  std::string DayFilePath(const LocalDateTime& day) const;

 private:
  struct DeviceMemory {
    std::uint8_t prevDriveFlags = 0;
    std::uint8_t lastProgress = 0xFF;
    std::uint8_t activityBay = 0;
  };
  void BayTransitions(unsigned device, std::uint8_t old, const StatusRecord& record, const std::string& stamp,
                      EventLogResult& result);
  bool RebuildLines(unsigned device, const StatusRecord& record, const std::string& stamp);

  std::string folder_;
  SaveFunction save_;
  LoadFunction load_;
  std::vector<std::string> eventLog_;
  std::array<DeviceMemory, kLoggedDevices> memory_{};
  std::vector<std::string> pendingDeviceChanges_;
  bool deviceChangesPending_ = false;
  std::string loadedPath_;  // the day file eventLog_ belongs to
  bool unsaved_ = false;    // eventLog_ holds lines the file does not
};

// CR LF lines of a log file, and back.
std::vector<std::string> SplitLogLines(const std::string& contents);
std::string JoinLogLines(const std::vector<std::string>& lines);

}  // namespace rur
