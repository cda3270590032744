// SPDX-License-Identifier: GPL-3.0-or-later
#include "smart/disk_health_watch.h"

#include <algorithm>
#include <optional>

#include "smart/attribute_names.h"

namespace rur {
namespace {

std::string AttributeText(std::uint8_t id) {
  const auto name = FindSmartAttributeName(id);
  return std::to_string(id) + (name ? " " + std::string(*name) : std::string());
}

std::string LogPrefix(const WatchedDisk& disk) {
  return "D" + std::to_string(disk.device + 1) + " " + BayName(disk.bay) + " ";
}

std::string SerialTail(const WatchedDisk& disk) { return ", serial \"" + disk.name.serial + "\", "; }

std::string DiskText(const WatchedDisk& disk) {
  return "model \"" + disk.name.model + "\", serial \"" + disk.name.serial + "\"";
}

void Describe(const WatchedDisk& disk, const std::vector<HealthChange>& changes, DiskHealthReport& report) {
  for (const HealthChange& change : changes) {
    if (change.attributeId != 0) {
      const std::string counts = std::to_string(change.oldCount) + " -> " + std::to_string(change.newCount);
      report.logLines.push_back(LogPrefix(disk) + "attribute " + AttributeText(change.attributeId) + " raw " + counts +
                                SerialTail(disk));
      report.alarmLines.push_back("  Attribute " + AttributeText(change.attributeId) + ", raw count: " + counts);
    } else if (change.firstSeen) {
      const std::string verdict(VerdictName(change.newVerdict));
      report.logLines.push_back(LogPrefix(disk) + "SMART verdict " + verdict + " when first seen" + SerialTail(disk));
      report.alarmLines.push_back("  SMART verdict: " + verdict + " (when first seen)");
    } else {
      const std::string verdicts =
          std::string(VerdictName(change.oldVerdict)) + " -> " + std::string(VerdictName(change.newVerdict));
      report.logLines.push_back(LogPrefix(disk) + "SMART verdict " + verdicts + SerialTail(disk));
      report.alarmLines.push_back("  SMART verdict: " + verdicts);
    }
  }
}

}  // namespace

std::vector<HealthChange> DiskHealthWatch::Take(const WatchedDisk& disk, const DiskHealthReading& now,
                                                std::string& saveError) {
  memory_.TakeEarlierEntry(disk.name.serial);
  const ReportedHealth* found = memory_.Find(disk.name.serial);
  const std::vector<HealthChange> changes = WorseThanReported(found, now);
  const std::optional<ReportedHealth> before = found ? std::optional<ReportedHealth>(*found) : std::nullopt;
  ReportedHealth& reported = memory_.Entry(disk.name.serial);
  RememberReported(reported, now);
  // The last look is kept to the day: a disk seen every minute is not saved every minute.
  constexpr std::int64_t kSecondsPerDay = 24 * 3600;
  const bool newDay = now_ != 0 && (!before || before->lastSeen / kSecondsPerDay != now_ / kSecondsPerDay);
  if (now_ != 0) reported.lastSeen = now_;
  const bool forgot = now_ != 0 && memory_.ForgetUnseen(now_, keepDays_);
  if (!before || newDay || forgot || reported.worstVerdict != before->worstVerdict ||
      reported.highestCounts != before->highestCounts)
    memory_.Save(saveError);
  return changes;
}

DiskHealthReport DiskHealthWatch::Check(const WatchedDisk& disk, const DiskHealthReading& now) {
  DiskHealthReport report;
  if (disk.name.serial.empty()) return report;
  const std::vector<HealthChange> changes = Take(disk, now, report.saveError);
  if (changes.empty()) return report;
  report.alarmLines.push_back("Device" + std::to_string(disk.device + 1) + " " + BayName(disk.bay) +
                              " disk health got worse: " + DiskText(disk) + ".");
  Describe(disk, changes, report);
  return report;
}

DiskHealthReport DiskHealthWatch::CheckRebuildSource(const WatchedDisk& source, unsigned rebuiltBay,
                                                     const std::optional<DiskHealthReading>& now) {
  DiskHealthReport report;
  std::vector<HealthChange> changes;
  if (now && !source.name.serial.empty()) changes = Take(source, *now, report.saveError);
  const bool counted = std::any_of(changes.begin(), changes.end(), [](const HealthChange& c) { return c.attributeId; });
  if (now && now->verdict == SmartVerdict::Good && !counted) return report;

  const std::string bay = BayName(source.bay);
  const std::string state =
      now ? "SMART verdict " + std::string(VerdictName(now->verdict)) : std::string("its SMART data could not be read");
  report.logLines.push_back(LogPrefix(source) + "is the source of the rebuild of " + BayName(rebuiltBay) + ", " +
                            state + ": take a backup now" + SerialTail(source));
  report.alarmLines.push_back("Device" + std::to_string(source.device + 1) + " " + BayName(rebuiltBay) +
                              " is being rebuilt from " + bay + " (" + DiskText(source) + "), " + state + ".");
  report.alarmLines.push_back("The rebuild reads every sector of " + bay + "; if " + bay +
                              " fails before it ends, the array is lost. Take a backup now.");
  Describe(source, changes, report);
  return report;
}

}  // namespace rur
