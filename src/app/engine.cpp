// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/engine.h"

#include <algorithm>

#include "monitor/device_info_block.h"
#include "monitor/device_names.h"
#include "monitor/event_log.h"
#include "platform/date_time_text.h"
#include "transport/commands.h"

namespace rur {
namespace {

constexpr std::uint64_t kProgressTimerMs = 1000;
constexpr std::uint64_t kMonitorTimerMs = 5000;
constexpr std::uint64_t kSmartTimerMs = 1000;
constexpr std::uint64_t kDeviceChangeTimerMs = 500;
constexpr std::uint64_t kDispatchPollMs = 50;
constexpr std::uint64_t kDetectIdleMs = 100;
constexpr const char* kDetectingText = "Drive detecting";

}  // namespace

Engine::Engine(DriveSource& drives, VolumeLister volumes, Clock& clock, Ui& ui)
    : clock_(clock),
      ui_(ui),
      channel_(drives, clock, ui),
      scheduler_(clock),
      spiFlash_(channel_, devices_, upgrade_, ui),
      firmware_(spiFlash_, devices_, upgrade_, ui),
      detection_(Detection::Services{drives, std::move(volumes), channel_, clock, ui,
                                     [this](unsigned drive) { return spiFlash_.ReadFlashHead(drive); }}),
      dispatcher_([this] { Refresh(); }, [this] { SmartRead(SMART_READ_THRESHOLDS); },
                  [this] { SmartRead(SMART_READ_DATA); }) {}

Engine::~Engine() { detection_.Stop(); }

void Engine::Start() {
  if (started_) return;
  started_ = true;
  dispatcher_.Clear();
  programStarted_ = true;
  closing_ = false;
  upgrade_.UpgradeTarget = kNoDevice;
  upgrade_.OperationBusy = false;
  refreshCounter_ = 0;
  currentPage_ = kPageStatus;
  devices_.selected = 0;
  devices_.active = 0;
  ShowDetectionNotice(kDetectingText, true);
  // On the virtual clock everything runs on one thread: the detection job runs when its idle wait ends.
  const bool ownThread = !clock_.isVirtual();
  detection_.Start(ownThread);
  RequestDetection();

  // Known as Timer1 .. Timer4, TRaidThread and DriveDetectThread when tracing a behaviour.
  progressTimer_ = scheduler_.add(
      "progress", kProgressTimerMs, [this] { firmware_.ProgressTick(); }, true);
  monitorTimer_ = scheduler_.add(
      "monitor", kMonitorTimerMs, [this] { MonitorTick(); }, false);
  smartTimer_ = scheduler_.add(
      "smart countdown", kSmartTimerMs, [this] { SmartTick(); }, false);
  deviceChangeTimer_ = scheduler_.add(
      "device changes", kDeviceChangeTimerMs, [this] { DeviceChangeTick(); }, true);
  scheduler_.add(
      "request dispatcher", kDispatchPollMs,
      [this] {
        if (!detection_.running() && dispatcher_.pending()) dispatcher_.Dispatch();
      },
      true, [this] { return !detection_.running() && dispatcher_.pending(); });
  if (!ownThread)
    scheduler_.add(
        "detection", kDetectIdleMs, [this] { detection_.RunRequested(); }, true);
}

bool Engine::Close() {
  if (!firmware_.CloseQuery()) return false;
  closing_ = true;
  dispatcher_.Clear();
  if (started_)
    for (auto id : {progressTimer_, monitorTimer_, smartTimer_, deviceChangeTimer_}) scheduler_.setEnabled(id, false);
  detection_.Stop();
  return true;
}

void Engine::Step() {
  if (stepHook_) stepHook_();
  scheduler_.runDue();
}

void Engine::RunFor(std::uint64_t ms) {
  const std::uint64_t end = clock_.nowMs() + ms;
  while (clock_.nowMs() < end && !closing_) {
    Step();
    const std::uint64_t now = clock_.nowMs();
    if (now >= end) break;
    const std::uint64_t next = std::clamp<std::uint64_t>(scheduler_.nextDue(), now + 1, end);
    clock_.sleepMs(next - now);
  }
}

bool Engine::RunUntilDetected(std::uint64_t maxMs) {
  const auto detected = [this] { return everDetected_ && !detection_.probing(); };
  const std::uint64_t end = clock_.nowMs() + maxMs;
  while (clock_.nowMs() < end && !closing_) {
    Step();
    if (detected()) return true;
    const std::uint64_t now = clock_.nowMs();
    const std::uint64_t next = std::clamp<std::uint64_t>(scheduler_.nextDue(), now + 1, end);
    clock_.sleepMs(next - now);
  }
  return detected();
}

void Engine::AddPoller(std::string name, std::uint64_t intervalMs, std::function<void()> handler,
                       std::function<bool()> wanted) {
  scheduler_.add(std::move(name), intervalMs, std::move(handler), true, std::move(wanted));
}

void Engine::AttachUpgradeJournal(UpgradeJournal* journal, std::function<std::string(unsigned drive)> drivePath) {
  firmware_.AttachJournal(journal, [this, drivePath = std::move(drivePath)](unsigned position) {
    UpgradeJournalRecord record;
    const unsigned drive = DriveAt(position);
    record.drive = drive;
    record.enclosure = EnclosureKey(DriveNames(drive));
    record.path = drivePath ? drivePath(drive) : std::string();
    record.product = DeviceProductName(identity_[drive]);
    record.firmware = FirmwareRevisionText(identity_[drive]);
    record.started = FormatDateTime(clock_.localTime());
    return record;
  });
}

const StatusRecord& Engine::SelectedRecord() const {
  return records_[DriveOf(devices_.current[std::min(devices_.selected, kMaxDevices - 1)])];
}

StatusCurrency Engine::Currency(unsigned position) const {
  StatusCurrency currency;
  if (position >= watch_.size()) return currency;
  const DeviceWatch& watch = watch_[position];
  currency.known = watch.known();
  currency.current = watch.current();
  currency.notAnswering = watch.notAnswering();
  currency.error = watch.error();
  return currency;
}

DriveFacts Engine::DriveNames(unsigned drive) const {
  for (const DriveFacts& facts : probedDrives_)
    if (facts.number == drive) return facts;
  DriveFacts unknown;
  unknown.number = drive;
  return unknown;
}

std::string Engine::DrivePathText(unsigned drive) const {
  const DriveFacts names = DriveNames(drive);
  return names.path.empty() ? "drive " + std::to_string(drive) : names.path;
}

UpgradeDeviceFacts Engine::UpgradeFacts(unsigned position) const {
  UpgradeDeviceFacts facts;
  if (position >= devices_.currentCount) return facts;
  facts.controllerKind = devices_.currentInfo[position].controllerKind;
  facts.identify = identity_[DriveOf(devices_.current[position])];
  return facts;
}

void Engine::ShowDetectionNotice(std::string text, bool shown) {
  notice_ = DetectionNotice{std::move(text), shown};
  ui_.detectionNotice(notice_);
}

void Engine::SetUpgradeStartable(bool startable) { ui_.upgradeStartable(startable); }

void Engine::RequestDetection() {
  DetectionStart start;
  start.programStarted = programStarted_;
  const std::uint32_t target = upgrade_.UpgradeTarget.load();
  if (UpgradeRunning() && target < devices_.currentCount) {
    start.upgradeEntry = devices_.current[target];
    start.upgradeInfo = devices_.currentInfo[target];
    start.upgradeDrive = static_cast<int>(DriveOf(start.upgradeEntry));
  }
  start.records = records_;
  start.knownEntries = devices_.current;
  start.knownInfo = devices_.currentInfo;
  start.knownCount = devices_.currentCount;
  start.knownIdentity = identity_;
  {
    std::lock_guard lock(departuresMutex_);
    departuresSeenByDetection_ = departures_.size();
  }
  detection_.Request(std::move(start));
}

void Engine::DeviceChangeNotice(const DriveNotice& notice) {
  {
    std::lock_guard lock(departuresMutex_);
    if (notice.removal()) departures_.push_back(notice);
    if (notice.drive >= 0 || !notice.node.empty()) freshNotices_.push_back(notice);
  }
  detection_.DeviceChangeNotice(notice.removal());
}

std::optional<unsigned> Engine::PositionOfNotice(const DriveNotice& notice) const {
  for (unsigned slot = 0; slot < devices_.currentCount; ++slot) {
    const unsigned drive = DriveAt(slot);
    if ((notice.drive >= 0 && static_cast<unsigned>(notice.drive) == drive) ||
        (!notice.node.empty() && notice.node == DriveNames(drive).path))
      return slot;
  }
  return std::nullopt;
}

void Engine::ReportDepartures() {
  std::vector<DriveNotice> notices;
  {
    std::lock_guard lock(departuresMutex_);
    notices.swap(freshNotices_);
  }
  // Until the start-up banner is written, what leaves is told by the detection that follows.
  if (programStarted_) return;
  const std::uint64_t now = clock_.nowMs();
  auto append = [this](const std::string& text, LogEventTag tag) {
    if (!eventLog_) return;
    std::string error;
    const LocalDateTime time = clock_.localTime();
    if (!eventLog_->AppendLine(text + FormatDateTime(time), time, error, tag))
      ui_.panel(4, "Event log kept in memory: " + error);
  };
  for (const DriveNotice& notice : notices) {
    const std::optional<unsigned> slot = PositionOfNotice(notice);
    if (!slot || !notice.removal()) {
      // A coming (or a going while the list no longer holds it) keeps a flapping episode open.
      int drive = notice.drive;
      for (const DriveFacts& facts : probedDrives_)
        if (drive < 0 && !notice.node.empty() && facts.path == notice.node) drive = static_cast<int>(facts.number);
      if (slot) drive = static_cast<int>(DriveAt(*slot));
      if (drive >= 0) flaps_.Changed(static_cast<unsigned>(drive), now);
      continue;
    }
    const unsigned drive = DriveAt(*slot);
    unsigned unplugs = 0;
    const UnplugReport report = flaps_.Unplugged(drive, *slot, now, unplugs);
    const bool told = reportedGone_.contains(drive);
    reportedGone_.insert(drive);
    const std::string n = std::to_string(*slot + 1);
    if (report == UnplugReport::Removed && !told) {
      append("D" + n + " Device was removed.", EventTag(LogEventKind::DeviceRemoved, *slot));
      RaiseAlarm(kAlarmDeviceRemoved, *slot, 0);
    } else if (report == UnplugReport::Flapping) {
      const std::string count = std::to_string(unplugs);
      append("D" + n + " Device is flapping: unplugged " + count + " times, ", EventTag(LogEventKind::Flapping, *slot));
      RaiseAlarm(kAlarmDeviceRemoved, *slot, 0,
                 "The enclosure keeps going and coming: unplugged " + count + " times so far.");
    }
  }
  for (const SteadyAgain& steady : flaps_.Steady(now)) {
    const std::optional<unsigned> slot =
        PositionOfNotice(DriveNotice{DriveNotice::Kind::Changed, static_cast<int>(steady.drive), {}});
    const bool here = slot && !reportedGone_.contains(steady.drive);
    const unsigned position = slot ? *slot : steady.position;
    const std::string n = std::to_string(position + 1);
    const std::string count = std::to_string(steady.unplugs);
    append(
        "D" + n +
            (here ? " Device has been steady for a minute, after " : " Device has stayed away for a minute, after ") +
            count + " unplugs, ",
        {LogEventKind::Steady, static_cast<int>(position), static_cast<int>(steady.drive)});
    // Gone for good after its flapping: that is a removal, and it is alarmed as one.
    if (!here) RaiseAlarm(kAlarmDeviceRemoved, position, 0, "The enclosure stayed away after " + count + " unplugs.");
  }
}

void Engine::DeviceChangeTick() {
  ReportDepartures();
  if (detection_.CountDown()) return;
  // A finished job is published before another one starts, so the two never mix.
  if (detection_.changeDue() && !refreshInProgress_ && !detection_.running() && !detection_.finished()) {
    SetUpgradeStartable(false);
    if (UpgradeRunning() || !detection_.RecountDrives()) {
      SetUpgradeStartable(true);
      return;
    }
    RequestDetection();
    if (devices_.currentCount == 0) ShowDetectionNotice(kDetectingText, notice_.shown);
  }
  if (detection_.finished()) {
    PublishDetection();
  } else if (detection_.running() && notice_.text == kDetectingText) {
    ShowDetectionNotice(notice_.text, !notice_.shown);
  }
}

void Engine::PublishDetection() {
  const DetectionResult found = detection_.TakeResult();
  ui_.panel(1, "Detected OK");
  ui_.panel(2, " ");
  const std::vector<KnownEnclosure> before = KnownBeforeDetection();
  if (!programStarted_) ReportDeviceChanges(before, found);
  FollowDevices(before, found);
  // A told leaving is used up once a detection has looked after it: the enclosure is gone from
  // the list, or the notice came before this detection was asked for.
  for (const KnownEnclosure& enclosure : before) {
    if (enclosure.drive < 0) continue;
    const unsigned drive = static_cast<unsigned>(enclosure.drive);
    bool listed = false;
    for (unsigned j = 0; j < found.count; ++j) listed = listed || DriveOf(found.entries[j]) == drive;
    if (enclosure.departed || !listed) reportedGone_.erase(drive);
  }
  for (unsigned position = 0; position < kMaxDevices; ++position) deviceShown_[position] = position < found.count;
  ui_.update(UiUpdate::DeviceControls);

  records_ = found.records;
  volumeTable_ = found.volumes;
  devices_.current = found.entries;
  devices_.currentInfo = found.info;
  devices_.currentCount = found.count;
  identity_ = found.identity;
  bays_.ForgetDrives();
  probedDrives_ = found.probed;
  everDetected_ = true;
  ReportInvalidFlash();
  // Told once per detection: the window's panel, rurctl's detect and status.
  accessProblems_ = found.accessProblems;
  for (const std::string& problem : accessProblems_) ui_.panel(4, problem);
  busyDrives_ = found.busy;
  for (const BusyDrive& busy : busyDrives_) ui_.panel(4, busy.path + " is in use by " + busy.holder);
  // A drive held through the probe is looked at again once it may be free.
  if (!busyDrives_.empty()) detection_.RetryLater();
  if (volumeTable_.truncated) ui_.messageBox("Drive Count Must less than 20.", "", MessageKind::Plain);

  if (devices_.currentCount == 0) {
    ui_.navigationEnabled(false);
    scheduler_.setEnabled(smartTimer_, false);
    detection_.ProbingOver();
    ShowDetectionNotice("No Drive found! ", true);
    PublishModel();
    return;
  }
  devices_.selected = std::min(devices_.selected, devices_.currentCount - 1);
  redrawWhole_ = true;
  ui_.navigationEnabled(true);
  logAvailable_ = true;
  ui_.eventLogAvailable();
  SetUpgradeStartable(true);
  RefreshDeviceNames();
  detection_.ProbingOver();
  dispatcher_.Raise(kRequestsAfterDetection);
  scheduler_.setEnabled(monitorTimer_, true);
  scheduler_.setEnabled(smartTimer_, true);
  ShowDetectionNotice(" ", false);
  PublishModel();
}

void Engine::ReportInvalidFlash() {
  std::uint64_t invalid = 0;
  for (unsigned i = 0; i < devices_.currentCount; ++i) {
    if (devices_.currentInfo[i].firmwareValid) continue;
    const std::uint64_t bit = std::uint64_t{1} << DriveAt(i);
    invalid |= bit;
    if (!eventLog_ || (invalidFlashDrives_ & bit)) continue;
    std::string error;
    if (!eventLog_->AppendLine("D" + std::to_string(i + 1) +
                                   " Flash holds no valid firmware image; run the firmware upgrade again, " +
                                   FormatDateTime(clock_.localTime()),
                               clock_.localTime(), error, EventTag(LogEventKind::FlashInvalid, i)))
      ui_.panel(4, "Event log kept in memory: " + error);
  }
  invalidFlashDrives_ = invalid;
}

void Engine::MonitorTick() {
  if (UpgradeRunning() && !refreshBesideJobs_) {
    dispatcher_.Drop(MONITOR_ARMED);
    return;
  }
  // A device change that is still counting down holds nothing up: the enclosures that answer are
  // watched meanwhile. Only a probe that uses the controllers now does.
  if (detection_.probing() || refreshInProgress_ || closing_) return;
  // The tick that arms the monitor refreshes too: the first cycle after detection read the
  // members, and the next one comes a cycle later, not two.
  if (!dispatcher_.armed()) dispatcher_.Arm();
  dispatcher_.Raise(REQ_REFRESH);
}

}  // namespace rur
