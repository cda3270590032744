#include "app/engine.h"

#include <algorithm>

#include "transport/commands.h"
#include "transport/pass_through.h"
#include "transport/target_rule.h"

namespace rur {
namespace {

constexpr std::uint64_t kTimer1Ms = 1000;
constexpr std::uint64_t kTimer2Ms = 5000;
constexpr std::uint64_t kTimer3Ms = 1000;
constexpr std::uint64_t kTimer4Ms = 500;
constexpr std::uint64_t kRaidPollMs = 50;
constexpr std::uint64_t kDetectIdleMs = 100;

}  // namespace

Engine::Engine(DriveSource& driveSource, VolumeLister volumeLister, Clock& engineClock, Ui& sink)
    : drives(driveSource),
      clock(engineClock),
      ui(sink),
      channel(driveSource, engineClock, sink),
      scheduler(engineClock),
      spiFlash(channel, devices, upgrade, [this] { return detecting.load(); }),
      firmware(spiFlash, devices, upgrade, sink),
      volumes_(std::move(volumeLister)) {}

Engine::~Engine() {
  stopThread_ = true;
  WakeDetectionThread();
  if (detectThread_.joinable()) detectThread_.join();
}

void Engine::WakeDetectionThread() {
  // Taking the lock orders the flag change before the thread's next look at it.
  { std::lock_guard lock(detectMutex_); }
  detectWake_.notify_one();
}

void Engine::Start() {
  if (started_) return;
  started_ = true;
  requestFlags = 0;
  busyMarks = 0;
  programStarted = true;
  closing = false;
  upgrade.UpgradeTarget = kNoDevice;
  upgrade.OperationBusy = false;
  refreshCounter = 0;
  currentPage = kPageStatus;
  devices.selected = 0;
  devices.active = 0;
  deviceChangeCounter = 0;
  detectionText = "Drive detecting";
  detectionTextVisible = true;
  ui.update(UiUpdate::DetectionText);
  CountDrives(logicalDrives, physicalDriveCount);
  probeMark = true;
  RequestDetection();

  timer1 = scheduler.add("Timer1", kTimer1Ms, [this] { firmware.Timer1Tick(); }, true);
  timer2 = scheduler.add("Timer2", kTimer2Ms, [this] { Timer2Timer(); }, false);
  timer3 = scheduler.add("Timer3", kTimer3Ms, [this] { SmartTimer(); }, false);
  timer4 = scheduler.add("Timer4", kTimer4Ms, [this] { Timer4Timer(); }, true);
  scheduler.add("TRaidThread", kRaidPollMs, [this] { RaidPoll(); }, true,
                [this] { return !detecting && (requestFlags & kServedRequests) != 0; });

  if (clock.isVirtual()) {
    // One thread on the virtual clock: the detection job runs when its idle wait ends.
    scheduler.add("DriveDetectThread", kDetectIdleMs, [this] {
      if (detectionRequest.exchange(false)) {
        DetectionJob();
        detecting = false;
        detectionDone = true;
      }
    }, true);
  } else {
    detectThread_ = std::thread([this] {
      std::unique_lock lock(detectMutex_);
      while (!stopThread_) {
        if (detectionRequest.exchange(false)) {
          lock.unlock();
          DetectionJob();
          detecting = false;
          detectionDone = true;
          lock.lock();
          continue;
        }
        // No polling while idle: a watching program should not wake for nothing.
        detectWake_.wait(lock, [this] { return stopThread_ || detectionRequest; });
      }
    });
  }
}

bool Engine::Close() {
  if (!firmware.CloseQuery()) return false;
  closing = true;
  requestFlags = 0;
  if (started_)
    for (auto id : {timer1, timer2, timer3, timer4}) scheduler.setEnabled(id, false);
  stopThread_ = true;
  WakeDetectionThread();
  if (detectThread_.joinable()) detectThread_.join();
  return true;
}

void Engine::Step() {
  if (hooks.step) hooks.step();
  scheduler.runDue();
}

void Engine::RunFor(std::uint64_t ms) {
  const std::uint64_t end = clock.nowMs() + ms;
  while (clock.nowMs() < end && !closing) {
    Step();
    const std::uint64_t now = clock.nowMs();
    if (now >= end) break;
    const std::uint64_t next = std::clamp<std::uint64_t>(scheduler.nextDue(), now + 1, end);
    clock.sleepMs(next - now);
  }
}

bool Engine::RunUntilDetected(std::uint64_t maxMs) {
  const std::uint64_t end = clock.nowMs() + maxMs;
  while (clock.nowMs() < end && !closing) {
    Step();
    if (everDetected && !probeMark) return true;
    const std::uint64_t now = clock.nowMs();
    const std::uint64_t next = std::clamp<std::uint64_t>(scheduler.nextDue(), now + 1, end);
    clock.sleepMs(next - now);
  }
  return everDetected && !probeMark;
}

void Engine::DeviceChangeNotice() { deviceChangeCounter = kDeviceChangeStart; }

unsigned Engine::TargetDrive() const {
  const unsigned active = devices.active < kMaxDevices ? devices.active : 0;
  return CommandTargetDrive(detecting, devices.probed, devices.current[active]);
}

const StatusRecord& Engine::SelectedRecord() const {
  return records[DriveOf(devices.current[std::min(devices.selected, kMaxDevices - 1)])];
}

void Engine::CountDrives(std::vector<std::string>& logical, unsigned& physical) {
  logical = LogicalDriveList(volumes_ ? volumes_() : std::vector<MountedVolume>{});
  physical = 0;
  for (unsigned drive = 0; drive < kMaxPhysicalDrives; ++drive) {
    if (OpenDrive(drives, drive)) ++physical;  // the handle closes at once
    ui.pump();
  }
}

void Engine::RaidPoll() {
  if (detecting || (requestFlags & kServedRequests) == 0) return;
  Dispatcher();
}

void Engine::Dispatcher() {
  if (requestFlags & REQ_REFRESH) {
    if (busyMarks & REQ_REFRESH) return;
    busyMarks |= REQ_REFRESH;
    RefreshStep();
    requestFlags &= static_cast<std::uint8_t>(~REQ_REFRESH);
    busyMarks &= static_cast<std::uint8_t>(~REQ_REFRESH);
    return;
  }
  for (std::uint8_t request : {REQ_SMART_THRESHOLDS, REQ_SMART_DATA}) {
    if (!(requestFlags & request)) continue;
    if (busyMarks & request) return;
    busyMarks |= request;
    SmartRead(request == REQ_SMART_THRESHOLDS ? SMART_READ_THRESHOLDS : SMART_READ_DATA);
    requestFlags &= static_cast<std::uint8_t>(~request);
    busyMarks &= static_cast<std::uint8_t>(~request);
    return;
  }
}

void Engine::Timer2Timer() {
  if (UpgradeRunning()) {
    requestFlags &= static_cast<std::uint8_t>(~MONITOR_ARMED);
    return;
  }
  if (deviceChangeCounter != 0 || probeMark || refreshInProgress || closing) return;
  if (requestFlags & MONITOR_ARMED) {
    requestFlags |= REQ_REFRESH;
  } else {
    requestFlags = MONITOR_ARMED;  // arming drops whatever else was pending
  }
}

}  // namespace rur
