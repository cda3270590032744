// What the monitor makes of a refresh cycle or a new device list: lines in the day's event log
// and alarm mails.

#include "app/engine.h"
#include "monitor/device_changes.h"
#include "monitor/device_info_block.h"
#include "monitor/event_log.h"
#include "notify/mail_center.h"

namespace rur {

void Engine::WriteCycleLog(std::uint8_t mask) {
  if (!eventLog) return;
  std::vector<LoggedDevice> logged;
  for (unsigned i = 0; i < devices.currentCount; ++i) {
    const unsigned drive = DriveOf(devices.current[i]);
    logged.push_back({&previousIdentity[drive], &records[drive]});
  }
  const EventLogResult result = eventLog->WriteEventLog(mask, logged, clock.localTime(), programStarted);
  for (const AlarmRaise& alarm : result.alarms) RaiseAlarm(alarm.kind, alarm.device, alarm.bay);
  if (result.smartThresholdsWanted) requestFlags |= REQ_SMART_THRESHOLDS;
  if (!result.saveError.empty()) ui.panel(4, "Event log kept in memory: " + result.saveError);
  if (result.saved) ui.panel(4, "");
}

void Engine::ReportDeviceChanges() {
  if (!eventLog) return;
  std::vector<IdentifyBlock> oldDevices, newDevices;
  for (unsigned i = 0; i < devices.currentCount; ++i) oldDevices.push_back(previousIdentity[DriveOf(devices.current[i])]);
  for (unsigned j = 0; j < devices.freshCount; ++j) newDevices.push_back(identity[DriveOf(devices.fresh[j])]);
  for (const DeviceChange& change : DetectDeviceChanges(oldDevices, newDevices)) {
    eventLog->QueueDeviceChange(change.line);
    if (change.removedDevice >= 0) RaiseAlarm(kAlarmDeviceRemoved, static_cast<unsigned>(change.removedDevice), 0);
  }
  if (eventLog->deviceChangesPending()) eventLog->QueueDeviceChange(kDeviceHadChangedLine);
}

void Engine::RaiseAlarm(std::uint8_t kind, unsigned device, unsigned bay) {
  if (!mail) return;
  mail->AlarmText.clear();
  if (mail->MailSuppressMask & (1u << (kind - 1))) return;
  std::vector<std::string> lines;
  if (device < devices.currentCount) {
    const unsigned drive = DriveOf(devices.current[device]);
    lines.push_back(AlarmSentence(kind, device, bay));
    BuildDeviceInfoBlock(device, previousIdentity[drive], records[drive], InfoForm::Alarm, kind, lines);
  }
  mail->RequestAlarm(kind, std::move(lines));
}

}  // namespace rur
