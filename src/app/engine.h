#pragma once
// The engine: the process-wide state of the program and the work loop that keeps it current.
// It finds the enclosures (a detection job on its own thread, or inline on the virtual clock),
// refreshes their status every 5 s through the poll dispatcher, and publishes everything to the
// user-interface sink. The window and rurctl drive the same engine.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/scheduler.h"
#include "discovery/device_table.h"
#include "discovery/volume_table.h"
#include "firmware/firmware_upgrade.h"
#include "firmware/spi_flash.h"
#include "firmware/upgrade_state.h"
#include "monitor/identify_block.h"
#include "monitor/request_flags.h"
#include "monitor/status_page_model.h"
#include "monitor/status_record.h"
#include "platform/clock.h"
#include "platform/user_interface.h"
#include "smart/evaluate_smart.h"
#include "smart/smart_state.h"
#include "transport/controller_channel.h"

namespace rur {
class EventLogWriter;
class MailCenter;
}

namespace rur {

// Pages of the main window (CurrentPage).
constexpr int kPageStatus = 0;
constexpr int kPageUpgrade = 2;
constexpr int kPageEmail = 3;
constexpr int kPageAbout = 4;
constexpr int kPageSmart = 5;

// The device-change counter runs from 16 to 26: a change is acted on 5 s after the last notice.
constexpr int kDeviceChangeStart = 16;
constexpr int kDeviceChangeDue = 26;
constexpr std::uint64_t kQueryGapMs = 200;
constexpr unsigned kRefreshedSlots = 2;

class Engine {
 public:
  struct Hooks {
    // Every engine step (the simulator applies its timeline here).
    std::function<void()> step;
  };

  Engine(DriveSource& drives, VolumeLister volumes, Clock& clock, Ui& ui);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Start-up: resets the state, counts drives, asks for the first detection and starts the timers.
  void Start();
  // Closing: refused (false, with a message) while a firmware upgrade runs.
  bool Close();
  // Runs whatever is due now: timers, the poll dispatcher, an inline detection job.
  void Step();
  // Runs the engine for a span of clock time (instantly on the virtual clock).
  void RunFor(std::uint64_t ms);
  // Runs until the first detection was published, at most for a span of clock time.
  bool RunUntilDetected(std::uint64_t maxMs);
  // The system reported a device change of any kind.
  void DeviceChangeNotice();

  // Status page.
  int RedrawStatusPage(bool force);
  void RefreshDeviceNames();
  void SelectDevice(unsigned position);           // the device buttons
  void SetDeviceChecked(unsigned position, bool ticked);  // the device check boxes

  // Events of the monitor: the day's log at the end of each cycle, device-list changes, alarms.
  void WriteCycleLog(std::uint8_t mask);
  void ReportDeviceChanges();
  void RaiseAlarm(std::uint8_t kind, unsigned device, unsigned bay);

  // SMART: a pass of the poll cycle (kind 0xD0 data, 0xD1 thresholds), the page's evaluation and
  // the once-a-second countdown.
  void SmartRead(std::uint8_t kind);
  void EvaluateSmartPage();
  void SmartTimer();
  void SelectSmartBay(unsigned bay);

  // What the firmware image check needs of the device at a position.
  UpgradeDeviceFacts UpgradeFacts(unsigned position) const;

  // Timer handlers and the poll cycle's jobs, run by the scheduler.
  void Timer4Timer();
  void Timer2Timer();
  void Dispatcher();
  void RefreshStep();

  // The command target: the probed drive during detection, else the active device.
  unsigned TargetDrive() const;
  const StatusRecord& SelectedRecord() const;
  bool UpgradeRunning() const { return upgrade.OperationBusy.load(); }

  // --- process-wide state ---
  DriveSource& drives;
  Clock& clock;
  Ui& ui;
  ControllerChannel channel;
  Scheduler scheduler;
  Hooks hooks;
  // Attached by the program when it keeps an event log and sends mail (tests may leave them out).
  EventLogWriter* eventLog = nullptr;
  MailCenter* mail = nullptr;

  DeviceTable devices;
  std::array<IdentifyBlock, kIdentifySlots> identity{};          // written by detection
  std::array<IdentifyBlock, kIdentifySlots> previousIdentity{};  // what the rest of the program reads
  std::array<StatusRecord, kStatusRecordSlots> records{};
  std::array<LocalDateTime, kIdentifySlots> arrivalStamps{};

  std::uint8_t requestFlags = 0;
  std::uint8_t busyMarks = 0;
  std::uint8_t changedMask = 0;
  bool programStarted = true;
  bool refreshInProgress = false;
  unsigned refreshCounter = 0;
  int currentPage = kPageStatus;

  // Detection and device changes. The flags shared with the detection thread are atomics.
  // A simulated drive reports its changes from whichever thread touched it, detection's included.
  std::atomic<int> deviceChangeCounter{0};
  bool probeMark = true;
  std::atomic<bool> detectionRequest{false};
  std::atomic<bool> detecting{false};
  std::atomic<bool> detectionDone{false};
  std::atomic<bool> closing{false};
  bool everDetected = false;
  std::vector<std::string> logicalDrives;
  unsigned physicalDriveCount = 0;
  VolumeTable volumeTable;

  // The firmware upgrade and the marks it leaves for every other sender of commands.
  UpgradeState upgrade;
  SpiFlash spiFlash;
  FirmwareUpgrade firmware;

  // What the window shows besides the pages.
  std::string detectionText;  // StaticText1
  bool detectionTextVisible = true;
  std::array<bool, 2> deviceShown{};    // CheckBox1/CheckBox3 and the device buttons
  std::array<bool, 2> deviceChecked{};  // ticked device check boxes
  bool pageButtonsEnabled = false;
  bool upgradeButtonEnabled = true;
  bool logButtonShown = false;
  std::array<std::string, 2> deviceNameTexts;  // hints of the device controls
  std::string revisionText;
  bool sensorDisplay = false;
  std::string windowCaption;
  StatusPageModel statusPage;
  SmartState smart;
  SmartPageModel smartPage;
  std::string smartCountdownText;  // Label21

  Scheduler::TimerId timer1 = 0, timer2 = 0, timer3 = 0, timer4 = 0;

 private:
  void CountDrives(std::vector<std::string>& logical, unsigned& physical);
  // Detection (runs on the detection thread, or inline on the virtual clock).
  void DetectionJob();
  bool ProbePass();
  void ProbeDrive(unsigned drive, unsigned position);
  void FillCapacityAndSensors(unsigned drive, DevicePosition& info, bool membersOk);
  void PublishDetection();
  void RaidPoll();
  bool RefreshSlot(unsigned slot, bool& gaveUp);
  bool ShouldGiveUp() const { return UpgradeRunning() || closing; }

  // What detection reads and writes, handed over on the main context when a job is requested and
  // when its result is published, so the detection thread never touches live state.
  struct DetectionSnapshot {
    bool programStarted = true;
    int upgradeDrive = -1;  // the drive of a running upgrade, carried over without probing
    DeviceEntry upgradeEntry = 0;
    DevicePosition upgradeInfo;
    unsigned physicalDriveCount = 0;
  };
  void RequestDetection();

  VolumeLister volumes_;
  DetectionSnapshot snapshot_;
  std::array<StatusRecord, kStatusRecordSlots> stagedRecords_{};
  VolumeTable stagedVolumes_;
  std::thread detectThread_;
  std::atomic<bool> stopThread_{false};
  // The detection thread sleeps here until a detection is requested or the engine stops.
  std::mutex detectMutex_;
  std::condition_variable detectWake_;
  void WakeDetectionThread();
  bool started_ = false;
};

}  // namespace rur
