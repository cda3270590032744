// The refresh cycle and what the monitor makes of it or of a new device list: lines in the day's
// event log and alarm mails.

#include "app/engine.h"
#include "monitor/device_changes.h"
#include "monitor/device_info_block.h"
#include "monitor/event_log.h"
#include "monitor/refresh_enclosure.h"
#include "monitor/sensor_watch.h"
#include "notify/mail_center.h"

namespace rur {
namespace {

// Failures in a row after which a device leaves the refresh until the user ticks it again (a
// failing device is asked only every other cycle, so this is about six failed queries).
constexpr std::uint8_t kFailureLimit = 10;

}  // namespace

void Engine::Refresh() {
  ++refreshCounter_;
  const std::string c = Hex2(refreshCounter_);
  ui_.panel(3, "G = 2x, " + c);
  if (detection_.changePending() || detection_.probing() || ShouldGiveUp()) return;
  refreshInProgress_ = true;
  changedMask_ = 0;
  ui_.panel(2, "SC = 1x" + Hex2(devices_.currentCount) + c);

  for (unsigned slot = 0; slot < kRefreshedSlots; ++slot) {
    ui_.panel(0, "0x," + c);
    if (slot >= devices_.currentCount || !deviceChecked_[slot] ||
        (UpgradeRunning() && upgrade_.UpgradeTarget.load() == slot))
      continue;
    if (programStarted_) {
      changedMask_ |= static_cast<std::uint8_t>(1u << slot);
      continue;
    }
    devices_.active = slot;
    const unsigned drive = DriveOf(devices_.current[slot]);
    DevicePosition& info = devices_.currentInfo[slot];
    ui_.panel(0, "1x," + c);
    if (info.failureCounter & 1u) {
      // A failing device is asked only every other cycle.
      ++info.failureCounter;
      continue;
    }
    EnclosureRefresh target{drive, info.hasSensor,
                            (identity_[drive][identify_offset::kMemberOrder] & kMemberOrderBit) != 0,
                            info.rebuildRunning};
    const RefreshOutcome outcome =
        RefreshEnclosure(channel_, clock_, ui_, c, target, records_[drive], [this] { return ShouldGiveUp(); });
    info.rebuildRunning = target.rebuildRunning;
    if (outcome == RefreshOutcome::Busy) {
      ReportBusy(slot, drive, channel_.record().busyHolder);
      continue;
    }
    if (outcome == RefreshOutcome::GaveUp) {
      refreshInProgress_ = false;
      return;
    }
    if (outcome == RefreshOutcome::Failed) {
      if (++info.failureCounter > kFailureLimit) {
        deviceChecked_[slot] = false;
        info.failureCounter = 0;
        ui_.update(UiUpdate::DeviceControls);
      }
      continue;
    }
    changedMask_ |= static_cast<std::uint8_t>(1u << slot);
    info.failureCounter = 0;
  }

  ui_.panel(0, "3x," + c);
  WriteCycleLog(changedMask_);
  ui_.panel(0, "4x," + c);
  if (changedMask_ != 0 && currentPage_ == kPageStatus) {
    RedrawStatusPage(programStarted_);
    ui_.panel(0, "5x," + c);
  }
  refreshInProgress_ = false;
}

void Engine::ReportBusy(unsigned device, unsigned drive, const std::string& holder) {
  const std::uint64_t now = clock_.nowMs();
  const auto last = busyReportedMs_.find(drive);
  if (last != busyReportedMs_.end() && now - last->second < kBusyReportIntervalMs) return;
  busyReportedMs_[drive] = now;
  const std::string text =
      "D" + std::to_string(device + 1) + " skipped: " + DrivePathText(drive) + " is in use by " + holder + ", ";
  ui_.panel(4, text.substr(0, text.size() - 2));
  if (eventLog_) eventLog_->QueueLine(text);
}

void Engine::RefreshNow() {
  // The first cycle after start-up only draws; the second one reads.
  if (programStarted_) Refresh();
  Refresh();
}

void Engine::WriteCycleLog(std::uint8_t mask) {
  CheckSensors(mask);
  if (!eventLog_) return;
  std::vector<LoggedDevice> logged;
  for (unsigned i = 0; i < devices_.currentCount; ++i) {
    const unsigned drive = DriveOf(devices_.current[i]);
    logged.push_back({&identity_[drive], &records_[drive]});
  }
  const EventLogResult result = eventLog_->WriteEventLog(mask, logged, clock_.localTime(), programStarted_);
  for (const AlarmRaise& alarm : result.alarms) RaiseAlarm(alarm.kind, alarm.device, alarm.bay);
  if (result.smartThresholdsWanted) dispatcher_.Raise(REQ_SMART_THRESHOLDS);
  if (!result.saveError.empty()) ui_.panel(4, "Event log kept in memory: " + result.saveError);
  if (result.saved) ui_.panel(4, "");
}

void Engine::ReportDeviceChanges(const DetectionResult& found) {
  if (!eventLog_) return;
  std::vector<IdentifyBlock> oldDevices, newDevices;
  for (unsigned i = 0; i < devices_.currentCount; ++i) oldDevices.push_back(identity_[DriveOf(devices_.current[i])]);
  for (unsigned j = 0; j < found.count; ++j) newDevices.push_back(found.identity[DriveOf(found.entries[j])]);
  for (const DeviceChange& change : DetectDeviceChanges(oldDevices, newDevices)) {
    eventLog_->QueueDeviceChange(change.line);
    if (change.removedDevice >= 0) RaiseAlarm(kAlarmDeviceRemoved, static_cast<unsigned>(change.removedDevice), 0);
  }
  if (eventLog_->deviceChangesPending()) eventLog_->QueueDeviceChange(kDeviceHadChangedLine);
}

void Engine::CheckSensors(std::uint8_t mask) {
  // The first cycle after start-up only draws: nothing was read yet.
  if (programStarted_) return;
  SensorLimits limits;
  if (mail_) {
    limits.fanMinRpm = mail_->FanMinRpm();
    limits.tempAlarmC = mail_->TempAlarm();
  }
  for (unsigned slot = 0; slot < kRefreshedSlots && slot < devices_.currentCount; ++slot) {
    if (!(mask & (1u << slot)) || !devices_.currentInfo[slot].hasSensor) continue;
    const unsigned drive = DriveOf(devices_.current[slot]);
    for (const SensorEvent& event : sensors_.Check(drive, slot, records_[drive], limits)) {
      if (eventLog_) eventLog_->QueueLine(event.logLine);
      if (event.alarmKind != 0) RaiseAlarmWithSentence(event.alarmKind, slot, event.alarmSentence);
    }
  }
}

void Engine::RaiseAlarm(std::uint8_t kind, unsigned device, unsigned bay) {
  RaiseAlarmWithSentence(kind, device, AlarmSentence(kind, device, bay));
}

void Engine::RaiseAlarmWithSentence(std::uint8_t kind, unsigned device, const std::string& sentence) {
  if (!mail_) return;
  if (mail_->MailSuppressMask & (1u << (kind - 1))) return;
  std::vector<std::string> lines;
  if (device < devices_.currentCount) {
    const unsigned drive = DriveOf(devices_.current[device]);
    lines.push_back(sentence);
    BuildDeviceInfoBlock(device, identity_[drive], records_[drive], InfoForm::Alarm, kind, lines);
  }
  mail_->RequestAlarm(kind, std::move(lines));
}

}  // namespace rur
