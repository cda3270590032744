// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine: owns the services that find, watch and serve the enclosures, and their timers.
//   detection        finds the enclosures and reacts to device changes (discovery/detection.h)
//   request dispatch runs the 5 s refresh and the SMART passes one at a time (monitor/)
//   SMART poller     keeps and grades the members' SMART pages (smart/smart_poller.h)
//   firmware upgrade erases, programs and verifies a controller's flash (firmware/)
// The window and rurctl act through its commands and read through its const views, so a rule
// (which page may open, which device an upgrade may aim at) lives here once for both.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/scheduler.h"
#include "app/upgrade_log.h"
#include "discovery/detection.h"
#include "discovery/device_table.h"
#include "discovery/volume_table.h"
#include "firmware/firmware_upgrade.h"
#include "firmware/spi_flash.h"
#include "firmware/upgrade_state.h"
#include "model/alarm_centre.h"
#include "model/enclosure.h"
#include "monitor/bay_memory.h"
#include "monitor/device_changes.h"
#include "monitor/device_watch.h"
#include "monitor/flap_watch.h"
#include "monitor/identify_block.h"
#include "monitor/log_event.h"
#include "monitor/member_alarms.h"
#include "monitor/refresh_enclosure.h"
#include "monitor/request_dispatcher.h"
#include "monitor/sensor_watch.h"
#include "monitor/status_page_model.h"
#include "monitor/status_record.h"
#include "platform/clock.h"
#include "platform/drive_notice.h"
#include "platform/user_interface.h"
#include "smart/disk_health_watch.h"
#include "smart/smart_poller.h"
#include "transport/controller_channel.h"

namespace rur {

struct AlarmRaise;
class EventLogWriter;
class MailCenter;

// Pages of the main window.
constexpr int kPageStatus = 0;
constexpr int kPageUpgrade = 2;
constexpr int kPageEmail = 3;
constexpr int kPageAbout = 4;
constexpr int kPageSmart = 5;

// A device another process keeps busy is told at most this often.
constexpr std::uint64_t kBusyReportIntervalMs = 60000;

class Engine {
 public:
  Engine(DriveSource& drives, VolumeLister volumes, Clock& clock, Ui& ui);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // --- running ---
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
  // The clock time at which the engine next has something to do.
  std::uint64_t NextDue() const { return scheduler_.nextDue(); }
  // Called at every step before the timers (a simulator applies its timeline here).
  void SetStepHook(std::function<void()> hook) { stepHook_ = std::move(hook); }
  // Called after every refresh cycle, also one that found nothing to read (the metrics file).
  void SetRefreshHook(std::function<void()> hook) { refreshHook_ = std::move(hook); }
  // A poller of the program's own on the engine's timers (see Scheduler::add).
  void AddPoller(std::string name, std::uint64_t intervalMs, std::function<void()> handler,
                 std::function<bool()> wanted);
  // The event log and the mail centre, when the program keeps them (tests may leave them out).
  void AttachEventLog(EventLogWriter* log);
  // Told of every event as it happens: each day-log line this program writes, with its kind and
  // the enclosure and bay it concerns, and each alarm (also those whose mail is switched off).
  void AddEventListener(std::function<void(const LogEvent&)> listener) {
    eventListeners_.push_back(std::move(listener));
  }
  void AttachMail(MailCenter* mail) { mail_ = mail; }
  // Where firmware upgrades keep their journal, and how a drive is named in it (its device node,
  // or the simulated drive's name).
  void AttachUpgradeJournal(UpgradeJournal* journal, std::function<std::string(unsigned drive)> drivePath);
  // Where the memories of the disks are kept: which disk sits in which bay, and what of each
  // disk's health was already reported. Without it they last for the run.
  void UseDataFolder(const std::string& folder);
  // How long the per-disk memory keeps a disk not seen (the settings' LogKeepDays).
  void SetDiskMemoryKeepDays(std::uint32_t days) {
    diskKeepDays_ = days;
    health_.SetKeepDays(days);
  }
  // Which drives detection probes (USB disks by default); before Start.
  void SetProbeScope(ProbeScope scope) { detection_.SetScope(std::move(scope)); }
  // Where the host's service mails the alarms, this engine tells them to its listeners only:
  // one alarm, one mail.
  void SetAlarmsMailedElsewhere(bool elsewhere) { alarmsMailedElsewhere_ = elsewhere; }
  // The refresh goes on for every other enclosure while a firmware job holds one (the service,
  // which steps the engine from the job's waits between two controller commands).
  void RefreshBesideJobs(bool beside) { refreshBesideJobs_ = beside; }
  // Whether a controller command of the engine is under way (a wait inside it is no place to step).
  bool ControllerCommandInFlight() const { return channel_.commandInFlight(); }
  // The controllers are asked through `relay` (the host's service) rather than on the devices.
  void SetControllerRelay(ControllerRelay* relay) { channel_.SetRelay(relay); }
  bool controllersRelayed() const { return channel_.relayed(); }
  // The system reported a device change (any thread). A removal is kept until a detection that
  // started after it has been published.
  void DeviceChangeNotice(const DriveNotice& notice = {});

  // --- commands ---
  // Opens a page; refused (false) before the status page was first drawn and during an upgrade.
  bool OpenPage(int page);
  // The device the status and SMART pages show.
  void SelectDevice(unsigned position);
  // Ticks or unticks a device for the refresh (the window has boxes for the first two).
  void SetDeviceChecked(unsigned position, bool ticked);
  // The device a firmware upgrade aims at (see FirmwareUpgrade::PickDevice); the pages follow it.
  bool PickUpgradeDevice(unsigned position);
  // The bay the SMART page shows (0 = HDD1, 1 = HDD2); ignored during an upgrade.
  void SelectSmartBay(unsigned bay);
  // Reads both SMART passes now (the command-line tool).
  void ReadSmartNow();
  // Runs one refresh cycle now, the first drawing included (the command-line tool).
  void RefreshNow();
  // The firmware upgrade of the picked device: its image (checked against the device), the checks
  // made before anything is erased, the run itself; and a backup of a device's flash.
  // allowOtherImage: the run may write another image than an interrupted upgrade recorded.
  bool LoadFirmwareImage(const std::string& path, bool allowOtherImage = false);
  // The same through `reader` (a descriptor a caller handed over); `name` names it in messages.
  bool LoadFirmwareImage(const std::string& name, ImageFileReader& reader, bool allowOtherImage);
  // Whether the image is much shorter than the firmware it replaces (see FirmwareUpgrade).
  std::optional<bool> ImageMuchShorter() { return firmware_.ImageMuchShorter(); }
  UpgradeOutcome CheckUpgrade() { return firmware_.CheckUpgrade(); }
  // The run writes its start and its outcome to the day log (naming the enclosure and both
  // versions) and holds the signals that would end the process until the flash is consistent.
  UpgradeOutcome RunUpgrade();
  // What an upgrade of the picked device would change, for the question asked before it; nothing
  // when no image is loaded or the pick is not present.
  std::optional<UpgradeVersions> PickedUpgradeVersions() const;
  bool BackupFlash(unsigned position, std::uint32_t length, std::vector<std::uint8_t>& bytes) {
    return firmware_.BackupFlash(position, length, bytes);
  }
  // Cuts the SMART countdown short: the next tick asks for a data pass.
  void ExpireSmartCountdown() { smart_.ExpireCountdown(); }

  // --- views ---
  // The model every face reads: one Enclosure per enclosure found, in device-list order, as the
  // last detection or refresh cycle left it.
  const EnclosureList& enclosures() const { return enclosures_; }
  const Enclosure* enclosure(unsigned position) const {
    return position < enclosures_.size() ? &enclosures_[position] : nullptr;
  }
  // Every alarm raised in this run, by kind, mailed or not.
  const AlarmCentre& alarms() const { return alarms_; }
  const DeviceTable& devices() const { return devices_; }
  unsigned deviceCount() const { return devices_.currentCount; }
  unsigned selectedDevice() const { return devices_.selected; }
  unsigned DriveAt(unsigned position) const { return DriveOf(devices_.current[position]); }
  const IdentifyBlock& identity(unsigned drive) const { return identity_[drive]; }
  // The names of a drive the last detection probed (path, by-id name); empty fields when unknown.
  DriveFacts DriveNames(unsigned drive) const;
  // "/dev/sdb", or "drive 1" when the path is unknown.
  std::string DrivePathText(unsigned drive) const;
  // Drives the last detection could not read, and why ("cannot read /dev/sdb: permission denied").
  const std::vector<std::string>& accessProblems() const { return accessProblems_; }
  // Drives another process held through the last detection (not counted as enclosures).
  const std::vector<BusyDrive>& busyDrives() const { return busyDrives_; }
  const StatusRecord& record(unsigned drive) const { return records_[drive]; }
  const StatusRecord& SelectedRecord() const;
  const StatusPageView& statusPage() const { return statusPage_.view(); }
  const SmartPoller& smart() const { return smart_; }
  const FirmwareUpgrade& firmware() const { return firmware_; }
  const SpiFlash& spiFlash() const { return spiFlash_; }
  // Product name and volumes of the device at a position, as its controls' hints show them.
  const std::string& DeviceNameText(unsigned position) const { return deviceNameTexts_[position]; }
  // The selected device's firmware revision, as the status and upgrade pages show it.
  const std::string& revisionText() const { return revisionText_; }
  // Whether a device is present (its controls shown) and ticked for the refresh.
  bool deviceShown(unsigned position) const { return position < kMaxDevices && deviceShown_[position]; }
  bool deviceChecked(unsigned position) const { return position < kMaxDevices && deviceChecked_[position]; }
  // How the refresh watches the device at a position: whether it answers, whether its status is
  // current and why not (nullptr for no device there).
  const DeviceWatch* watch(unsigned position) const { return position < watch_.size() ? &watch_[position] : nullptr; }
  StatusCurrency Currency(unsigned position) const;
  int currentPage() const { return currentPage_; }
  bool NavigationAllowed() const { return !upgrade_.targetSet() && !programStarted_; }
  // True from the start until the status page was first drawn.
  bool programStarted() const { return programStarted_; }
  bool everDetected() const { return everDetected_; }
  const Detection& detection() const { return detection_; }
  const RequestDispatcher& requests() const { return dispatcher_; }
  bool refreshInProgress() const { return refreshInProgress_; }
  unsigned refreshCount() const { return refreshCounter_; }
  // The devices whose status the last refresh cycle read.
  DeviceMask changedMask() const { return changedMask_; }
  bool UpgradeRunning() const { return upgrade_.OperationBusy.load(); }
  bool closing() const { return closing_.load(); }
  // What the firmware image check needs of the device at a position.
  UpgradeDeviceFacts UpgradeFacts(unsigned position) const;
  EventLogWriter* eventLog() const { return eventLog_; }
  // Whether an upgrade holds a target now (pages and SMART selection are frozen then).
  bool UpgradeTargetSet() const { return upgrade_.targetSet(); }

 private:
  // Tests reach the services' inner state through this (tests/support).
  friend class EngineTestAccess;
  // Builds the model from what the engine holds now and tells the faces.
  void PublishModel();
  // The typed status of the enclosure at a position, decoded from what the engine holds now.
  EnclosureStatus StatusAt(unsigned position) const;
  // Timer handlers and the poll cycle's jobs.
  void DeviceChangeTick();  // every 500 ms: the device-change countdown and publishing a detection
  void MonitorTick();       // every 5 s: arms the monitor, then asks for a refresh
  void SmartTick();         // every second: the SMART countdown
  void Refresh();           // the refresh of every ticked device's status, then the refresh hook
  void RefreshTickedDevices();
  // What one device's refresh came to: its watch, a busy controller, a capacity still to read.
  void TakeRefreshOutcome(unsigned position, const EnclosureRefresh& target, RefreshOutcome outcome,
                          std::uint64_t askedMs);
  void SmartRead(std::uint8_t kind);
  // Unplugs the host told of, reported without waiting for the next detection: the first of an
  // episode as a removal, a flapping enclosure once, and once more when it is steady again.
  void ReportDepartures();
  // The position of the enclosure the notice is about in the current list, if any.
  std::optional<unsigned> PositionOfNotice(const DriveNotice& notice) const;

  void RequestDetection();
  void PublishDetection();
  // Day-log lines for enclosures whose flash holds no valid image, once per detection that finds it.
  void ReportInvalidFlash();
  void ShowDetectionNotice(std::string text, bool shown);
  void SetUpgradeStartable(bool startable);
  int RedrawStatusPage(bool force);
  void RefreshDeviceNames();
  void EvaluateSmartPage();
  bool ShouldGiveUp() const { return (UpgradeRunning() && !refreshBesideJobs_) || closing_; }

  // Events of the monitor: the day's log at the end of each cycle, device-list changes, alarms.
  void WriteCycleLog(DeviceMask mask);
  // The enclosures of the current list, each marked when a removal of its drive was noticed
  // before the detection now published was requested; such notices are then used up.
  std::vector<KnownEnclosure> KnownBeforeDetection();
  void ReportDeviceChanges(const std::vector<KnownEnclosure>& before, const DetectionResult& found);
  // What the engine keeps per enclosure follows it to its new position in a new device list.
  void FollowDevices(const std::vector<KnownEnclosure>& before, const DetectionResult& found);
  // An alarm with its kind's sentence, and a second one where the kind's sentence needs it.
  void RaiseAlarm(std::uint8_t kind, unsigned device, unsigned bay, const std::string& sentence = {});
  // bay: 1 or 2 when the alarm concerns one member, else 0.
  void RaiseAlarmWithSentences(std::uint8_t kind, unsigned device, std::vector<std::string> sentences,
                               unsigned bay = 0);
  void TellEvent(const LogEvent& event);
  // Who an event about the device at `position` concerns.
  LogEventTag EventTag(LogEventKind kind, unsigned position, unsigned bay = 0) const;
  // A device skipped because another process holds its controller: at most once a minute.
  void ReportBusy(unsigned device, unsigned drive, const std::string& holder);
  // Fan and temperature of the devices the cycle read: log lines and alarms.
  void CheckSensors(DeviceMask mask);
  // The member disks of the devices the cycle read: a disk replaced in its bay, a rebuild that
  // starts reading every sector of the other disk.
  void WatchMembers(DeviceMask mask);
  void CheckRebuildSource(unsigned slot, unsigned sourceBay, unsigned rebuiltBay);
  // Bays without a working disk in an array that needs them, remembered for the next start; what
  // the last run knew of them is kept for the first look.
  void CheckMissingMembers(unsigned slot, unsigned drive, const EnclosureStatus& status);
  // The first look of this run at an enclosure: each bay found without its disk gets the line of
  // its state and one alarm, unless the run before already found it so.
  void ReportMissingAtFirstLook(unsigned slot, std::vector<AlarmRaise>& alarms);
  // Member alarms of a cycle, after its lines: one per trouble of a bay.
  void RaiseMemberAlarms(const std::vector<AlarmRaise>& alarms, DeviceMask mask);
  // After a data pass: what got worse on each disk whose pages the pass read.
  void WatchDiskHealth();
  void ApplyHealthReport(unsigned slot, const DiskHealthReport& report);

  Clock& clock_;
  Ui& ui_;
  ControllerChannel channel_;
  Scheduler scheduler_;
  std::vector<std::function<void(const LogEvent&)>> eventListeners_;
  std::function<void()> stepHook_;
  std::function<void()> refreshHook_;
  EventLogWriter* eventLog_ = nullptr;
  MailCenter* mail_ = nullptr;

  DeviceTable devices_;
  EnclosureList enclosures_;
  AlarmCentre alarms_;
  std::array<IdentifyBlock, kIdentifySlots> identity_{};  // as the last published detection found it
  std::array<StatusRecord, kStatusRecordSlots> records_{};
  VolumeTable volumeTable_;
  std::array<bool, kMaxDevices> deviceShown_{};
  std::array<bool, kMaxDevices> deviceChecked_{};
  std::vector<DeviceWatch> watch_;  // per position of the device list

  UpgradeState upgrade_;
  SpiFlash spiFlash_;
  FirmwareUpgrade firmware_;
  Detection detection_;
  RequestDispatcher dispatcher_;
  SmartPoller smart_;
  StatusPageModel statusPage_;
  SensorWatch sensors_;
  BayMemory bays_;
  DiskHealthWatch health_;
  std::uint32_t diskKeepDays_ = kDefaultDiskKeepDays;
  // Per drive: whether the last cycle that read it saw a rebuild (absent: never read).
  std::map<unsigned, bool> lastRebuildSeen_;
  std::set<unsigned> firstLookDone_;  // drives whose members this run has looked at (without a log)
  struct MissingBays {
    std::array<bool, 2> now{};
    std::optional<std::array<bool, 2>> before;  // as the last look of this run or the one before left them
  };
  std::map<unsigned, MissingBays> missingAtLook_;  // by position, from this cycle's look
  MemberAlarmGate memberAlarms_;

  bool started_ = false;
  bool programStarted_ = true;
  bool everDetected_ = false;
  bool alarmsMailedElsewhere_ = false;
  bool refreshBesideJobs_ = false;
  bool refreshInProgress_ = false;
  unsigned refreshCounter_ = 0;
  DeviceMask changedMask_ = 0;
  int currentPage_ = kPageStatus;
  std::atomic<bool> closing_{false};

  std::array<std::string, kMaxDevices> deviceNameTexts_;
  std::string revisionText_;
  bool sensorDisplay_ = false;
  DetectionNotice notice_{"Drive detecting", true};
  std::vector<DriveFacts> probedDrives_;
  // Removals the host told of since they were last looked at, and how many of them the running
  // detection was requested after.
  std::mutex departuresMutex_;
  std::vector<DriveNotice> departures_;
  std::size_t departuresSeenByDetection_ = 0;
  // Notices not yet looked at for the prompt report of an unplug (under the same lock).
  std::vector<DriveNotice> freshNotices_;
  // Drives whose enclosure's leaving was already told (at once, or as part of its flapping): the
  // detection that finds it gone does not tell it again.
  std::set<unsigned> reportedGone_;
  FlapWatch flaps_;
  std::vector<std::string> accessProblems_;
  std::vector<BusyDrive> busyDrives_;
  std::map<unsigned, std::uint64_t> busyReportedMs_;  // by drive
  bool logAvailable_ = false;
  // Detection changed the device list or the selection: the next status page drawing fills every label.
  bool redrawWhole_ = false;
  std::uint64_t invalidFlashDrives_ = 0;  // by drive: reported in the day log already

  Scheduler::TimerId progressTimer_ = 0, monitorTimer_ = 0, smartTimer_ = 0, deviceChangeTimer_ = 0;
};

}  // namespace rur
