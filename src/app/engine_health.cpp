// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine makes of the member disks: a disk replaced in its bay, a rebuild that starts
// reading every sector of a disk that is not healthy, and SMART data that got worse. Each becomes
// a line of the day's log and a disk-health alarm.

#include <filesystem>

#include "app/engine.h"
#include "monitor/device_info_block.h"
#include "monitor/event_log.h"
#include "monitor/member_disk.h"
#include "notify/mail_center.h"
#include "platform/date_time_text.h"
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
  health_.SetKeepDays(diskKeepDays_);
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

namespace {

MemberDiskName DiskOf(const MemberStatus& member) { return {member.model, member.serialKey}; }

}  // namespace

void Engine::WatchMembers(DeviceMask mask) {
  missingAtLook_.clear();
  for (unsigned slot = 0; slot < devices_.currentCount; ++slot) {
    if (!(mask & DeviceBit(slot))) continue;
    const unsigned drive = DriveOf(devices_.current[slot]);
    const EnclosureStatus status = StatusAt(slot);
    if (!status.membersKnown()) continue;
    const std::string n = std::to_string(slot + 1);

    std::array<std::string, 2> serials;
    for (unsigned bay = 0; bay < 2; ++bay)
      if (status.member(bay)->holdsDisk()) serials[bay] = status.member(bay)->serialKey;
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
    CheckMissingMembers(slot, drive, status);

    // A rebuild that was not running in the last cycle (or that runs when first seen) starts to
    // read every sector of the other member.
    const bool before = lastRebuildSeen_.contains(drive) ? lastRebuildSeen_[drive] : false;
    const bool known = lastRebuildSeen_.contains(drive);
    lastRebuildSeen_[drive] = status.rebuildingBay.has_value();
    if (!status.rebuildingBay || (known && before)) continue;
    const unsigned rebuiltBay = *status.rebuildingBay;
    const unsigned sourceBay = 1 - rebuiltBay;
    if (status.member(sourceBay)->holdsDisk()) CheckRebuildSource(slot, sourceBay, rebuiltBay);
  }
}

void Engine::CheckMissingMembers(unsigned slot, unsigned drive, const EnclosureStatus& status) {
  // A bay without a working disk in an array that needs it. What the last look (of this run or
  // the one before) found is kept for the first look of this run, which reports only what is new.
  const ArrayState array = ArrayStateOf(status);
  MissingBays& bays = missingAtLook_[slot];
  for (unsigned bay = 0; bay < 2; ++bay)
    bays.now[bay] = array != ArrayState::Normal && array != ArrayState::Rebuilding && !status.member(bay)->inArray();
  bays.before = bays_.Missing(drive);
  std::string saveError;
  bays_.RememberMissing(drive, bays.now, saveError);
  if (!saveError.empty()) ui_.panel(kDeviceOperationPanel, "Bay memory kept in memory only: " + saveError);
}

void Engine::ReportMissingAtFirstLook(unsigned slot, std::vector<AlarmRaise>& alarms) {
  // An array found degraded at the start, as a RAID monitor reports it: the line of the bay's
  // state and an alarm, unless the run before already found that bay so.
  const auto found = missingAtLook_.find(slot);
  if (found == missingAtLook_.end()) return;
  const MissingBays& bays = found->second;
  const unsigned drive = DriveAt(slot);
  const StatusRecord& record = records_[drive];
  for (unsigned bay = 0; bay < 2; ++bay) {
    if (!bays.now[bay]) continue;
    if (bays.before && (*bays.before)[bay]) {
      memberAlarms_.MarkAlarmed(drive, bay);
      continue;
    }
    const MemberStateLine line = MemberStateLineOf(slot, bay, record);
    if (eventLog_ && !line.text.empty()) {
      std::string error;
      const LocalDateTime now = clock_.localTime();
      if (!eventLog_->AppendLine(line.text + FormatDateTime(now), now, error, EventTag(line.kind, slot, bay + 1)))
        ui_.panel(kDeviceOperationPanel, "Event log kept in memory: " + error);
    }
    alarms.push_back({kAlarmMemberRemoved, slot, bay});
  }
}

void Engine::CheckRebuildSource(unsigned slot, unsigned sourceBay, unsigned rebuiltBay) {
  // The controller belongs to a running upgrade.
  if (upgrade_.targetSet() || ShouldGiveUp()) return;
  const unsigned drive = DriveOf(devices_.current[slot]);
  const EnclosureStatus status = StatusAt(slot);
  const SmartEnclosure enclosure{drive, status.driveFlags, devices_.currentInfo[slot].memberOrder};
  SmartBayPages pages;
  smart_.ReadBayNow(channel_, slot, enclosure, sourceBay, pages);
  // Thresholds that could not be read keep what the store held; a data page must be read now.
  const std::optional<DiskHealthReading> reading =
      pages.dataRead ? ReadDiskHealth(pages.data, pages.thresholds) : std::nullopt;
  health_.SetTime(CivilSeconds(clock_.localTime()));
  ApplyHealthReport(
      slot, health_.CheckRebuildSource({slot, sourceBay, DiskOf(*status.member(sourceBay))}, rebuiltBay, reading));
  if (currentPage_ == kPageSmart && slot == devices_.selected) EvaluateSmartPage();
}

void Engine::WatchDiskHealth() {
  health_.SetTime(CivilSeconds(clock_.localTime()));
  for (unsigned slot = 0; slot < devices_.currentCount && slot < kSmartSlots; ++slot) {
    const EnclosureStatus status = StatusAt(slot);
    if (!status.membersKnown()) continue;
    for (unsigned bay = 0; bay < kSmartBays; ++bay) {
      const SmartBayPages& pages = smart_.state().store[slot][bay];
      // Only pages this pass read whole belong for certain to the disk the status names.
      if (!pages.dataRead || !status.member(bay)->holdsDisk()) continue;
      const std::optional<DiskHealthReading> reading = ReadDiskHealth(pages.data, pages.thresholds);
      if (!reading) continue;
      ApplyHealthReport(slot, health_.Check({slot, bay, DiskOf(*status.member(bay))}, *reading));
    }
  }
}

}  // namespace rur
