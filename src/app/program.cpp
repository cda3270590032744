// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program.h"

#include <chrono>

#include "app/event_facts.h"
#include "app/metrics_textfile.h"
#include "app/pumping_clock.h"
#include "emulator/scenario.h"
#include "emulator/simulated_host.h"
#include "firmware/upgrade_journal.h"
#include "monitor/event_log.h"
#include "notify/curl_mail_transport.h"
#include "notify/mail_center.h"
#include "notify/reg_file_store.h"
#include "notify/settings_location.h"
#include "notify/system_info.h"
#include "platform/date_time_text.h"
#include "platform/host_drives.h"
#include "platform/host_volumes.h"
#include "platform/program_paths.h"
#include "platform/udev_watcher.h"

namespace rur {
namespace {

// The settings value that names the window's folder for the metrics file.
constexpr const char* kMetricsFolderValue = "MetricsTextfileDir";

// Seconds since 1970 UTC; a virtual clock's time counts as UTC.
std::int64_t UnixSeconds(Clock& clock) {
  if (clock.isVirtual()) return CivilSeconds(clock.localTime());
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Interrupted upgrades are recorded where the enclosure's owner keeps its state, so every face and
// data folder sees the same record: a simulated enclosure's own state folder, or the service's state
// folder on a host. A run that may not write there (a desktop user) keeps its records in its data
// folder, and still reads the owner's.
std::unique_ptr<UpgradeJournal> MakeUpgradeJournal(const ProgramOptions& options, const std::string& dataFolder) {
  if (options.simulate)
    return std::make_unique<UpgradeJournal>(options.simStateDir.empty() ? dataFolder : options.simStateDir,
                                            std::vector<std::string>{dataFolder});
  const std::string owner = EnclosureOwnerFolder(CurrentPathFacts());
  if (OwnerFolderWritable(owner)) return std::make_unique<UpgradeJournal>(owner, std::vector<std::string>{dataFolder});
  return std::make_unique<UpgradeJournal>(dataFolder, std::vector<std::string>{owner});
}

}  // namespace

Program::Program() = default;

Program::~Program() {
  std::string ignored;
  Close(ignored);
}

bool Program::Open(const ProgramOptions& options, Ui& ui, std::string& error) {
  options_ = options;
  ui_ = &ui;
  sim::Scenario scenario;
  if (options.simulate) {
    const std::string path =
        options.scenarioPath.empty() ? sim::BundledScenarioPath(sim::kDefaultScenarioName) : options.scenarioPath;
    if (!sim::LoadScenarioFile(path, scenario, error)) return false;
  }

  if (options.virtualTime) {
    clock_ = std::make_unique<VirtualClock>(scenario.start ? *scenario.start : RealClock().localTime());
  } else {
    if (options.pumpWhileWaiting) {
      clock_ = std::make_unique<PumpingClock>(ui);
    } else {
      clock_ = std::make_unique<RealClock>();
    }
  }

  VolumeLister volumes;
  if (options.simulate) {
    auto host = std::make_unique<sim::SimulatedHost>(scenario, *clock_);
    if (!options.simStateDir.empty()) {
      if (!host->loadState(options.simStateDir, error)) return false;
      host->ShareStateFolder(options.simStateDir);
      host->saveStateOnFlashChange(options.simStateDir);
    }
    if (!options.traceFile.empty() && !host->setTraceFile(options.traceFile)) {
      error = "cannot open the trace file " + options.traceFile;
      return false;
    }
    simulator_ = host.get();
    volumes = [host = host.get()] { return host->volumes(); };
    drives_ = std::move(host);
  } else if (relayedToOpen_) {
    relayed_ = relayedToOpen_.get();
    drives_ = std::move(relayedToOpen_);
    volumes = [] { return ListHostVolumes(); };
  } else {
    auto host = std::make_unique<HostDriveSource>();
    hostDrives_ = host.get();
    drives_ = std::move(host);
    volumes = [] { return ListHostVolumes(); };
    udev_ = std::make_unique<UdevWatcher>();
  }

  ProgramFolders folders;
  if (!ChooseProgramFolders(CurrentPathFacts(), options.simulate, options.dataDir, folders, error)) return false;
  if (!EnsureDirectory(folders.data, error)) return false;
  if (folders.settings != folders.data && !EnsureDirectory(folders.settings, error)) return false;
  dataDirectory_ = folders.data;

  engine_ = std::make_unique<Engine>(*drives_, volumes, *clock_, ui);
  if (relayed_) engine_->SetControllerRelay(relayed_);
  engine_->UseDataFolder(dataDirectory_);
  eventLog_ = std::make_unique<EventLogWriter>(dataDirectory_);
  engine_->AttachEventLog(eventLog_.get());
  if (relayed_) {
    // The service keeps the host's day log; a client's lines stay in its memory.
    eventLog_->setFileFunctions([](const std::string&, const std::string&, std::string&) { return true; },
                                [](const std::string&, std::string&) { return FileReadStatus::Missing; });
  }
  journal_ = MakeUpgradeJournal(options, dataDirectory_);
  engine_->AttachUpgradeJournal(journal_.get(), [this](unsigned drive) { return DrivePath(drive); });

  settingsPath_ = SettingsFilePath(folders.settings);
  if (const std::string warning = SettingsFileExposureWarning(settingsPath_); !warning.empty())
    ui.messageBox(warning, "Warning", MessageKind::Warning);
  settings_ = OpenSettings(settingsPath_, !options.simulate && options.dataDir.empty()).store;
  transport_ = std::make_unique<CurlMailTransport>();
  mail_ = std::make_unique<MailCenter>(*settings_, ui, *clock_, *transport_, DefaultMailFolder(settingsPath_),
                                       SystemInfoText(CollectHostFacts()));
  engine_->AttachMail(mail_.get());
  ProbeScope scope;
  std::uint32_t allDisks = 0;
  scope.allDisks = options.allDisks || (settings_->ReadInteger(kProbeAllDisksSetting, allDisks).ok() && allDisks != 0);
  scope.alsoDrives = options.alsoDrives;
  engine_->SetProbeScope(std::move(scope));
  mail_->UseOutbox(OutboxFolderOf(dataDirectory_));
  mail_->SetLogSink(
      [this](const std::string& line) { eventLog_->QueueLine(line, LogEventTag{LogEventKind::MailGivenUp}); });
  mail_->SetRefusalSink([this](const std::string& line, const RecipientRefusal& refusal) {
    // Written at once rather than with the next refresh: the outcome of the last mail of a run
    // comes after its last refresh.
    LogEventTag tag{LogEventKind::MailRefused};
    tag.refusal = refusals_.Keep(refusal);
    const LocalDateTime now = clock_->localTime();
    std::string error;
    eventLog_->AppendLine(line + FormatDateTime(now), now, error, tag);
  });

  engine_->SetRefreshHook([this] {
    if (!metrics_) return;
    const bool failedBefore = metrics_->failing();
    if (!metrics_->Write(CollectMetrics(*engine_, mail_.get(), UnixSeconds(*clock_))) && !failedBefore)
      ui_->panel(4, "Metrics not written: " + metrics_->lastError());
  });

  if (simulator_) {
    simulator_->setDeviceChangeListener([this](const DriveNotice& notice) { engine_->DeviceChangeNotice(notice); });
    engine_->SetStepHook([this] { simulator_->Advance(); });
  } else if (relayed_) {
    engine_->SetStepHook([this] {
      for (const DriveNotice& notice : relayed_->TakeNotices()) engine_->DeviceChangeNotice(notice);
    });
  } else if (udev_->active()) {
    engine_->SetStepHook([this] {
      for (const DriveNotice& notice : udev_->TakeEvents()) engine_->DeviceChangeNotice(notice);
    });
  }
  RunOnEvents(options.eventPrograms,
              [&ui](const std::string& text) { ui.panel(kDeviceOperationPanel, "Event program: " + text); });
  return true;
}

void Program::RelayThrough(std::unique_ptr<RelayedDrives> drives) { relayedToOpen_ = std::move(drives); }

std::string Program::DrivePath(unsigned drive) const {
  if (hostDrives_ || relayed_) {
    const std::string probed = engine_ ? engine_->DriveNames(drive).path : std::string();
    if (relayed_) return probed.empty() ? "drive " + std::to_string(drive) : probed;
    // Detection already listed the drives it probed; the host is asked only for others.
    return probed.empty() ? hostDrives_->DrivePath(drive) : probed;
  }
  return "simulated drive " + std::to_string(drive);
}

std::string Program::StoredMetricsFolder() {
  std::string folder;
  if (!settings_ || !settings_->ReadString(kMetricsFolderValue, folder).ok()) folder.clear();
  return folder;
}

void Program::WriteMetricsTo(const std::string& folder) {
  if (folder.empty()) {
    metrics_.reset();
  } else {
    metrics_ = std::make_unique<MetricsTextfile>(folder);
  }
}

UpgradeStatus Program::UpgradeStatusOfDrive(unsigned drive) {
  DriveFacts facts = engine_->DriveNames(drive);
  facts.number = drive;
  return UpgradeStatusOf(*journal_, *drives_, facts);
}

void Program::ReportUnfinishedUpgrades() {
  if (unfinishedReported_ || !journal_ || !ui_) return;
  unfinishedReported_ = true;
  Ui& ui = *ui_;
  for (const UpgradeJournalRecord& record : journal_->Unfinished()) {
    // A run that another process is still making is no alarm: it holds the controller until done.
    if (UpgradeRunsElsewhere(*drives_, record)) continue;
    const std::string text = UnfinishedUpgradeText(record);
    std::string error;
    if (logUnfinished_ &&
        !eventLog_->AppendLine(text, clock_->localTime(), error, LogEventTag{LogEventKind::UpgradeUnfinished}))
      ui.panel(4, "Event log kept in memory: " + error);
    ui.messageBox(text + "\n" + UnfinishedUpgradeDetails(record), "Firmware Upgrade Message", MessageKind::Warning);
  }
}

void Program::Start() {
  ReportUnfinishedUpgrades();
  engine_->Start();
  mail_->StartUp();
  engine_->AddPoller(
      "mail", kEmailThreadIntervalMs, [this] { mail_->EmailThreadTick(); }, [this] { return mail_->HasWork(); });
}

void Program::RunOnEvents(std::vector<std::string> programs, HookRunner::Report report,
                          std::chrono::milliseconds limit) {
  if (programs.empty() || !engine_) return;
  hooks_ = std::make_unique<HookRunner>(std::move(programs), std::move(report), limit);
  HookRunner* hooks = hooks_.get();
  engine_->AddEventListener([this, hooks](const LogEvent& event) {
    if (!EventRunsPrograms(event)) return;
    const EventFacts facts = DescribeEvent(event, *this);
    hooks->Run(EventEnvironment(facts), facts.event);
  });
  // Takes up ended programs and ends overdue ones while the engine runs.
  engine_->AddPoller(
      "event programs", 1000, [hooks] { hooks->Poll(); }, [hooks] { return hooks->running() != 0; });
}

bool Program::Close(std::string& error) {
  if (closed_ || !engine_) return true;
  if (!engine_->Close()) return false;
  closed_ = true;
  if (hooks_) hooks_->WaitAll();
  if (simulator_ && !options_.simStateDir.empty() && !simulator_->saveState(options_.simStateDir, error)) return false;
  if (simulator_ && simulator_->traceLost()) {
    error = "the trace file " + options_.traceFile + " could not be written; the trace is incomplete";
    return false;
  }
  return true;
}

}  // namespace rur
