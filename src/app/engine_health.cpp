// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine makes of the member disks: a disk replaced in its bay, a rebuild that starts
// reading every sector of a disk that is not healthy, and SMART data that got worse. Each becomes
// a line of the day's log and a disk-health alarm.

#include <filesystem>

#include "app/engine.h"
#include "monitor/event_log.h"
#include "monitor/member_disk.h"
#include "notify/mail_center.h"
#include "transport/commands.h"

namespace rur {
namespace {

std::string FolderFile(const std::string& folder, const char* name) {
  return (std::filesystem::path(folder) / name).string();
}

}  // namespace

void Engine::UseDataFolder(const std::string& folder) {
  bays_ = BayMemory(FolderFile(folder, kBayMemoryFileName));
  health_ = DiskHealthWatch(FolderFile(folder, kDiskHealthFileName));
  std::string error;
  if (!bays_.Load(error)) ui_.panel(kDeviceOperationPanel, "Bay memory starts empty: " + error);
  if (!health_.Load(error)) ui_.panel(kDeviceOperationPanel, "Disk health memory starts empty: " + error);
}

void Engine::ApplyHealthReport(unsigned slot, const DiskHealthReport& report) {
  if (eventLog_)
    for (const std::string& line : report.logLines)
      eventLog_->QueueLine(line, EventTag(LogEventKind::DiskHealth, slot));
  if (!report.alarmLines.empty()) RaiseAlarmWithSentences(kAlarmDiskHealth, slot, report.alarmLines);
  if (!report.saveError.empty())
    ui_.panel(kDeviceOperationPanel, "Disk health kept in memory only: " + report.saveError);
}

void Engine::WatchMembers(std::uint32_t mask) {
  // The first cycle after start-up only draws: nothing was read yet.
  if (programStarted_) return;
  for (unsigned slot = 0; slot < devices_.currentCount && slot < 32; ++slot) {
    if (!(mask & (1u << slot))) continue;
    const unsigned drive = DriveOf(devices_.current[slot]);
    const StatusRecord& record = records_[drive];
    const std::string n = std::to_string(slot + 1);

    std::array<std::string, 2> serials;
    for (unsigned bay = 0; bay < 2; ++bay)
      if (BayHoldsDisk(record, bay)) serials[bay] = MemberDiskOf(record, bay).serial;
    std::string saveError;
    const std::vector<BayReplacement> replaced = bays_.Observe(drive, serials, saveError);
    if (!saveError.empty()) ui_.panel(kDeviceOperationPanel, "Bay memory kept in memory only: " + saveError);
    for (const BayReplacement& change : replaced) {
      const std::string what =
          BayName(change.bay) + " replaced: serial \"" + change.oldSerial + "\" -> \"" + change.newSerial + "\"";
      if (eventLog_)
        eventLog_->QueueLine("D" + n + " " + what + ", ", EventTag(LogEventKind::DiskReplaced, slot, change.bay + 1));
      RaiseAlarmWithSentences(kAlarmDiskHealth, slot, {"Device" + n + " " + what + "."}, change.bay + 1);
    }
    // Another disk may grade against other thresholds.
    if (!replaced.empty()) dispatcher_.Raise(REQ_SMART_THRESHOLDS);

    // A rebuild that was not running in the last cycle (or that runs when first seen) starts to
    // read every sector of the other member.
    const std::uint8_t rebuilding = record[status_offset::kActivityFlags] & (kHdd1Rebuilding | kHdd2Rebuilding);
    const std::uint8_t before = lastRebuildBits_[drive];
    lastRebuildBits_[drive] = rebuilding;
    if (rebuilding == 0 || (before != kActivityUnknown && before != 0)) continue;
    const unsigned rebuiltBay = (rebuilding & kHdd1Rebuilding) ? 0 : 1;
    const unsigned sourceBay = 1 - rebuiltBay;
    if (BayHoldsDisk(record, sourceBay)) CheckRebuildSource(slot, sourceBay, rebuiltBay);
  }
}

void Engine::CheckRebuildSource(unsigned slot, unsigned sourceBay, unsigned rebuiltBay) {
  // The controller belongs to a running upgrade.
  if (upgrade_.targetSet() || ShouldGiveUp()) return;
  const unsigned drive = DriveOf(devices_.current[slot]);
  const StatusRecord& record = records_[drive];
  const SmartEnclosure enclosure{drive, record[status_offset::kDriveFlags], devices_.currentInfo[slot].memberOrder};
  SmartBayPages pages;
  smart_.ReadBayNow(channel_, slot, enclosure, sourceBay, pages);
  // Thresholds that could not be read keep what the store held; a data page must be read now.
  const std::optional<DiskHealthReading> reading =
      pages.dataRead ? ReadDiskHealth(pages.data, pages.thresholds) : std::nullopt;
  ApplyHealthReport(
      slot, health_.CheckRebuildSource({slot, sourceBay, MemberDiskOf(record, sourceBay)}, rebuiltBay, reading));
  if (currentPage_ == kPageSmart && slot == devices_.selected) EvaluateSmartPage();
}

void Engine::WatchDiskHealth() {
  for (unsigned slot = 0; slot < devices_.currentCount && slot < kSmartSlots; ++slot) {
    const StatusRecord& record = records_[DriveOf(devices_.current[slot])];
    for (unsigned bay = 0; bay < kSmartBays; ++bay) {
      const SmartBayPages& pages = smart_.state().store[slot][bay];
      // Only pages this pass read whole belong for certain to the disk the record names.
      if (!pages.dataRead || !BayHoldsDisk(record, bay)) continue;
      const std::optional<DiskHealthReading> reading = ReadDiskHealth(pages.data, pages.thresholds);
      if (!reading) continue;
      ApplyHealthReport(slot, health_.Check({slot, bay, MemberDiskOf(record, bay)}, *reading));
    }
  }
}

}  // namespace rur
