// SPDX-License-Identifier: GPL-3.0-or-later
// The refresh cycle and what the monitor makes of it or of a new device list: lines in the day's
// event log and alarm mails.

#include "app/engine.h"
#include "monitor/array_capacity.h"
#include "monitor/array_health.h"
#include "monitor/device_changes.h"
#include "monitor/device_info_block.h"
#include "monitor/event_log.h"
#include "monitor/redundancy_note.h"
#include "monitor/refresh_enclosure.h"
#include "monitor/sensor_watch.h"
#include "notify/mail_center.h"

namespace rur {
namespace {

constexpr const char* kNotAnsweringNote = "Device is not answering";
constexpr const char* kAnsweringAgainNote = "Device is answering again";

std::vector<KnownEnclosure> KnownEnclosures(const std::array<DeviceEntry, kMaxDevices>& entries, unsigned count,
                                            const std::array<IdentifyBlock, kIdentifySlots>& identity,
                                            const std::vector<DriveFacts>& probed) {
  std::vector<KnownEnclosure> known;
  for (unsigned i = 0; i < count && i < kMaxDevices; ++i) {
    const unsigned drive = DriveOf(entries[i]);
    std::string byId;
    for (const DriveFacts& facts : probed)
      if (facts.number == drive) byId = facts.byId;
    known.emplace_back(identity[drive], static_cast<int>(drive), std::move(byId));
  }
  return known;
}

}  // namespace

void Engine::Refresh() {
  RefreshTickedDevices();
  PublishModel();
  if (refreshHook_) refreshHook_();
}

void Engine::RefreshTickedDevices() {
  ++refreshCounter_;
  const std::string c = Hex2(refreshCounter_);
  ui_.panel(3, "G = 2x, " + c);
  if (detection_.probing() || ShouldGiveUp()) return;
  refreshInProgress_ = true;
  changedMask_ = 0;
  ui_.panel(2, "SC = 1x" + Hex2(devices_.currentCount) + c);

  // The devices this cycle looks at, and those of them whose turn it is to be asked.
  const std::uint64_t now = clock_.nowMs();
  std::vector<unsigned> looked, asked;
  std::vector<EnclosureRefresh> targets;
  for (unsigned slot = 0; slot < devices_.currentCount; ++slot) {
    ui_.panel(0, "0x," + c);
    if (!deviceChecked_[slot] || (UpgradeRunning() && upgrade_.UpgradeTarget.load() == slot)) continue;
    // The first cycle reads the members too, so a change in the first seconds is seen at once;
    // every enclosure found is in its dump, with what detection read when it does not answer now.
    if (programStarted_) changedMask_ |= DeviceBit(slot);
    looked.push_back(slot);
    DevicePosition& info = devices_.currentInfo[slot];
    ui_.panel(0, "1x," + c);
    if (!watch_[slot].Due(now, info.failureCounter)) continue;
    const unsigned drive = DriveAt(slot);
    asked.push_back(slot);
    targets.push_back({drive, info.hasSensor, AnswerBlockAIsHdd1(identity_[drive]), info.rebuildRunning, {}, {}});
  }
  const std::vector<DeviceWatch> before = watch_;
  std::vector<EnclosureRefresh*> targetOf;
  std::vector<StatusRecord*> recordOf;
  for (std::size_t i = 0; i < asked.size(); ++i) {
    targetOf.push_back(&targets[i]);
    recordOf.push_back(&records_[targets[i].drive]);
  }
  std::vector<RefreshOutcome> outcomes;
  const bool finished = RefreshSideBySide(
      channel_, clock_, ui_, c, targetOf, recordOf, [this] { return ShouldGiveUp(); }, outcomes);
  for (std::size_t i = 0; i < asked.size(); ++i)
    devices_.currentInfo[asked[i]].rebuildRunning = targets[i].rebuildRunning;
  if (!finished) {
    refreshInProgress_ = false;
    return;
  }
  for (std::size_t i = 0; i < asked.size(); ++i) TakeRefreshOutcome(asked[i], targets[i], outcomes[i], now);
  bool watchChanged = false;
  for (const unsigned slot : looked) {
    // An enclosure whose leaving (or flapping) was already alarmed is not alarmed again for the
    // silence that follows from it.
    if (watch_[slot].SilenceAlarmDue(clock_.nowMs()) && !reportedGone_.contains(DriveAt(slot)) &&
        !flaps_.flapping(DriveAt(slot)))
      RaiseAlarm(kAlarmDeviceRemoved, slot, 0, NotAnsweringSentence(slot));
    const DeviceWatch& after = watch_[slot];
    if (after.error() != before[slot].error() || after.notAnswering() != before[slot].notAnswering())
      watchChanged = true;
  }

  ui_.panel(0, "3x," + c);
  WriteCycleLog(changedMask_);
  ui_.panel(0, "4x," + c);
  if ((changedMask_ != 0 || watchChanged) && currentPage_ == kPageStatus) {
    RedrawStatusPage(programStarted_);
    ui_.panel(0, "5x," + c);
  }
  refreshInProgress_ = false;
}

void Engine::TakeRefreshOutcome(unsigned slot, const EnclosureRefresh& target, RefreshOutcome outcome,
                                std::uint64_t askedMs) {
  devices_.active = slot;
  const unsigned drive = target.drive;
  DevicePosition& info = devices_.currentInfo[slot];
  DeviceWatch& watch = watch_[slot];
  if (outcome == RefreshOutcome::Busy) {
    // Another process holds the controller: skipped, neither an answer nor a failure.
    ReportBusy(slot, drive, target.busyHolder);
  } else if (outcome == RefreshOutcome::Failed) {
    if (watch.Failed(askedMs, info.failureCounter, target.failure) == WatchEvent::NotAnswering) {
      if (eventLog_) eventLog_->QueueDeviceNote(slot, kNotAnsweringNote, EventTag(LogEventKind::NotAnswering, slot));
    }
  } else {
    if (watch.Answered(clock_.nowMs(), info.failureCounter) == WatchEvent::AnsweringAgain && eventLog_)
      eventLog_->QueueDeviceNote(slot, kAnsweringAgainNote, EventTag(LogEventKind::AnsweringAgain, slot));
    // A capacity detection could not read is read with the first good answer.
    if (!info.capacityKnown)
      info.capacityKnown = FillArrayCapacity(channel_, clock_, drive, identity_[drive], info.hasName, records_[drive]);
    changedMask_ |= DeviceBit(slot);
  }
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

void Engine::RefreshNow() { Refresh(); }

void Engine::WriteCycleLog(DeviceMask mask) {
  CheckSensors(mask);
  WatchMembers(mask);
  if (!eventLog_) {
    // Without a log, the first look of the run at each drive stands for the log's starting point.
    std::vector<AlarmRaise> alarms;
    for (unsigned slot = 0; slot < devices_.currentCount; ++slot)
      if ((mask & DeviceBit(slot)) && missingAtLook_.contains(slot) && firstLookDone_.insert(DriveAt(slot)).second)
        ReportMissingAtFirstLook(slot, alarms);
    RaiseMemberAlarms(alarms, mask);
    return;
  }
  std::vector<LoggedDevice> logged;
  for (unsigned i = 0; i < devices_.currentCount; ++i) {
    const unsigned drive = DriveOf(devices_.current[i]);
    const bool known = i < watch_.size() && watch_[i].known();
    logged.push_back({&identity_[drive], &records_[drive], static_cast<int>(drive), known,
                      known && devices_.currentInfo[i].capacityKnown});
  }
  EventLogResult result = eventLog_->WriteEventLog(
      mask, logged, [this] { return clock_.localTime(); }, programStarted_);
  for (const unsigned slot : result.startingPoints) ReportMissingAtFirstLook(slot, result.alarms);
  RaiseMemberAlarms(result.alarms, mask);
  if (result.smartThresholdsWanted) dispatcher_.Raise(REQ_SMART_THRESHOLDS);
  if (!result.saveError.empty()) ui_.panel(4, "Event log kept in memory: " + result.saveError);
  if (result.saved) ui_.panel(4, "");
}

void Engine::RaiseMemberAlarms(const std::vector<AlarmRaise>& alarms, DeviceMask mask) {
  for (const AlarmRaise& alarm : alarms) {
    if (alarm.kind == kAlarmMemberRemoved && alarm.device < devices_.currentCount &&
        !memberAlarms_.Admit(DriveAt(alarm.device), alarm.bay))
      continue;
    RaiseAlarm(alarm.kind, alarm.device, alarm.bay);
  }
  // What this cycle read ends the troubles of bays whose disk is in the array again.
  for (unsigned slot = 0; slot < devices_.currentCount; ++slot)
    if ((mask & DeviceBit(slot)) && slot < watch_.size() && watch_[slot].known())
      memberAlarms_.Observe(DriveAt(slot), StatusAt(slot));
}

std::vector<KnownEnclosure> Engine::KnownBeforeDetection() {
  std::vector<KnownEnclosure> known =
      KnownEnclosures(devices_.current, devices_.currentCount, identity_, probedDrives_);
  std::vector<DriveNotice> departures;
  {
    std::lock_guard lock(departuresMutex_);
    const auto seen = departures_.begin() + static_cast<std::ptrdiff_t>(departuresSeenByDetection_);
    departures.assign(departures_.begin(), seen);
    departures_.erase(departures_.begin(), seen);
    departuresSeenByDetection_ = 0;
  }
  for (const DriveNotice& gone : departures)
    for (KnownEnclosure& enclosure : known)
      if ((gone.drive >= 0 && gone.drive == enclosure.drive) ||
          (!gone.node.empty() && gone.node == DriveNames(static_cast<unsigned>(enclosure.drive)).path))
        enclosure.departed = true;
  return known;
}

void Engine::ReportDeviceChanges(const std::vector<KnownEnclosure>& before, const DetectionResult& found) {
  if (!eventLog_) return;
  bool toldBefore = false;
  for (const DeviceChange& change :
       DetectDeviceChanges(before, KnownEnclosures(found.entries, found.count, found.identity, found.probed))) {
    // A leaving already told when the host said so is not told again; the list has changed all
    // the same, and the log says so with the new list's information blocks.
    if (change.removedDevice >= 0 && before[static_cast<std::size_t>(change.removedDevice)].drive >= 0 &&
        reportedGone_.contains(static_cast<unsigned>(before[static_cast<std::size_t>(change.removedDevice)].drive))) {
      toldBefore = true;
      continue;
    }
    if (change.removedDevice >= 0)
      eventLog_->QueueDeviceChange(change.line,
                                   EventTag(LogEventKind::DeviceRemoved, static_cast<unsigned>(change.removedDevice)));
    else
      eventLog_->QueueDeviceChange(
          change.line, {LogEventKind::DeviceFound, change.foundDevice,
                        change.foundDevice >= 0 ? static_cast<int>(DriveOf(found.entries[change.foundDevice])) : -1});
    if (change.removedDevice >= 0) RaiseAlarm(kAlarmDeviceRemoved, static_cast<unsigned>(change.removedDevice), 0);
  }
  if (eventLog_->deviceChangesPending() || toldBefore) eventLog_->QueueDeviceChange(kDeviceHadChangedLine);
}

void Engine::FollowDevices(const std::vector<KnownEnclosure>& before, const DetectionResult& found) {
  const std::vector<KnownEnclosure> after = KnownEnclosures(found.entries, found.count, found.identity, found.probed);
  const std::vector<int> oldOfNew = MatchEnclosures(before, after);
  std::vector<DeviceWatch> watch;
  std::array<bool, kMaxDevices> checked{};
  const std::uint64_t now = clock_.nowMs();
  for (unsigned j = 0; j < found.count; ++j) {
    const int old = oldOfNew[j];
    if (old >= 0 && static_cast<std::size_t>(old) < watch_.size()) {
      // The same enclosure: its watch and the user's tick stay with it.
      watch.push_back(watch_[static_cast<std::size_t>(old)]);
      checked[j] = deviceChecked_[static_cast<std::size_t>(old)];
    } else {
      const bool known = found.info[j].membersKnown;
      watch.emplace_back(now, known, known ? std::string() : std::string("the members could not be read"));
      checked[j] = true;
      // Another enclosure on this drive starts with nothing alarmed and a first look of its own.
      const unsigned drive = DriveOf(found.entries[j]);
      memberAlarms_.Forget(drive);
      firstLookDone_.erase(drive);
    }
  }
  watch_ = std::move(watch);
  deviceChecked_ = checked;
  statusPage_.FollowDevices(oldOfNew);
  if (eventLog_) eventLog_->FollowDevices(oldOfNew, before, after);
}

void Engine::CheckSensors(DeviceMask mask) {
  SensorLimits limits;
  if (mail_) {
    limits.fanMinRpm = mail_->FanMinRpm();
    limits.tempAlarmC = mail_->TempAlarm();
  }
  for (unsigned slot = 0; slot < devices_.currentCount; ++slot) {
    if (!(mask & DeviceBit(slot)) || !devices_.currentInfo[slot].hasSensor) continue;
    const unsigned drive = DriveOf(devices_.current[slot]);
    for (const SensorEvent& event : sensors_.Check(drive, slot, records_[drive], limits)) {
      if (eventLog_) eventLog_->QueueLine(event.logLine, EventTag(event.kind, slot));
      if (event.alarmKind != 0) RaiseAlarmWithSentences(event.alarmKind, slot, {event.alarmSentence});
    }
  }
}

void Engine::RaiseAlarm(std::uint8_t kind, unsigned device, unsigned bay, const std::string& sentence) {
  std::vector<std::string> sentences{AlarmSentence(kind, device, bay)};
  if (!sentence.empty()) sentences.push_back(sentence);
  RaiseAlarmWithSentences(kind, device, std::move(sentences), kind == kAlarmMemberRemoved ? bay + 1 : 0);
}

void Engine::AttachEventLog(EventLogWriter* log) {
  eventLog_ = log;
  if (eventLog_) eventLog_->setEventListener([this](const LogEvent& event) { TellEvent(event); });
}

void Engine::TellEvent(const LogEvent& event) {
  for (const auto& listener : eventListeners_) listener(event);
}

LogEventTag Engine::EventTag(LogEventKind kind, unsigned position, unsigned bay) const {
  const int drive = position < devices_.currentCount ? static_cast<int>(DriveOf(devices_.current[position])) : -1;
  return {kind, static_cast<int>(position), drive, bay};
}

void Engine::RaiseAlarmWithSentences(std::uint8_t kind, unsigned device, std::vector<std::string> sentences,
                                     unsigned bay) {
  if (device < devices_.currentCount) {
    const EnclosureStatus status = StatusAt(device);
    if (status.array && status.array->mode == kModeMirroring && ArrayStateOf(status) == ArrayState::Failed)
      sentences.push_back(kNoCompleteCopySentence);
  }
  std::string text;
  for (const std::string& sentence : sentences) text += (text.empty() ? "" : " ") + sentence;
  alarms_.Count(kind);
  TellEvent(LogEvent{EventTag(LogEventKind::Alarm, device, bay), text, clock_.localTime(), kind});
  if (!mail_ || alarmsMailedElsewhere_) return;
  if (mail_->MailSuppressMask & (1u << (kind - 1))) return;
  // An enclosure no longer in the list is told by its sentences alone.
  std::vector<std::string> lines = std::move(sentences);
  if (device < devices_.currentCount) {
    const unsigned drive = DriveOf(devices_.current[device]);
    const EnclosureStatus status = StatusAt(device);
    if (status.array && ModeWithoutRedundancy(status.array->mode))
      lines.push_back(NoRedundancySentence(status.array->mode));
    BuildDeviceInfoBlock(device, identity_[drive], records_[drive], InfoForm::Alarm, kind, lines,
                         devices_.currentInfo[device].capacityKnown);
  }
  mail_->RequestAlarm(kind, std::move(lines));
}

}  // namespace rur
