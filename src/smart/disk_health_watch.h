// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Watches the member disks' SMART data for the changes that come before data is at risk and says
// what to log and mail: a verdict that worsens, a count of bad sectors or errors that grows, and a
// rebuild that is about to read every sector of a disk that is not healthy. Each change is
// reported once per disk (by serial number), also across restarts.

#include <optional>
#include <string>
#include <vector>

#include "monitor/member_disk.h"
#include "smart/disk_health.h"
#include "smart/disk_health_memory.h"

namespace rur {

struct WatchedDisk {
  unsigned device = 0;  // position in the device list, numbered from 1 in the texts
  unsigned bay = 0;     // 0 = HDD1, 1 = HDD2
  MemberDiskName name;
};

struct DiskHealthReport {
  std::vector<std::string> logLines;    // without their time stamp, ASCII
  std::vector<std::string> alarmLines;  // empty: nothing to mail
  std::string saveError;                // the memory could not be saved
};

// A disk not seen this long is forgotten, as the day logs are.
constexpr std::uint32_t kDefaultDiskKeepDays = 400;

class DiskHealthWatch {
 public:
  explicit DiskHealthWatch(std::string path = {}) : memory_(std::move(path)) {}
  bool Load(std::string& error) { return memory_.Load(error); }

  // After a pass read the disk's pages: what is worse than already reported.
  DiskHealthReport Check(const WatchedDisk& disk, const DiskHealthReading& now);
  // A rebuild of `rebuiltBay` started and reads every sector of `source`: reported when the
  // source's verdict is not good or its counts grew. `now` is empty when its pages could not be read.
  DiskHealthReport CheckRebuildSource(const WatchedDisk& source, unsigned rebuiltBay,
                                      const std::optional<DiskHealthReading>& now);

  const DiskHealthMemory& memory() const { return memory_; }
  // The time of the readings that follow (local civil seconds), and how long a disk not seen is
  // remembered.
  void SetTime(std::int64_t now) { now_ = now; }
  void SetKeepDays(std::uint32_t days) { keepDays_ = days; }

 private:
  // Remembers the reading; the changes are those WorseThanReported found before.
  std::vector<HealthChange> Take(const WatchedDisk& disk, const DiskHealthReading& now, std::string& saveError);

  DiskHealthMemory memory_;
  std::int64_t now_ = 0;
  std::uint32_t keepDays_ = kDefaultDiskKeepDays;
};

}  // namespace rur
