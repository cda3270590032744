#include "app/program.h"

#include "app/pumping_clock.h"
#include "emulator/scenario.h"
#include "emulator/simulated_host.h"
#include "monitor/event_log.h"
#include "notify/curl_mail_transport.h"
#include "notify/mail_center.h"
#include "notify/reg_file_store.h"
#include "notify/system_info.h"
#include "platform/host_drives.h"
#include "platform/host_volumes.h"
#include "platform/program_paths.h"
#include "platform/udev_watcher.h"

namespace rur {

Program::Program() = default;

Program::~Program() {
  std::string ignored;
  Close(ignored);
}

bool Program::Open(const ProgramOptions& options, Ui& ui, std::string& error) {
  options_ = options;
  sim::Scenario scenario;
  if (options.simulate) {
    const std::string path = options.scenarioPath.empty() ? sim::BundledScenarioPath("demo") : options.scenarioPath;
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
    }
    if (!options.traceFile.empty() && !host->setTraceFile(options.traceFile)) {
      error = "cannot open the trace file " + options.traceFile;
      return false;
    }
    simulator_ = host.get();
    volumes = [host = host.get()] { return host->volumes(); };
    drives_ = std::move(host);
  } else {
    drives_ = std::make_unique<HostDriveSource>();
    volumes = [] { return ListHostVolumes(); };
    udev_ = std::make_unique<UdevWatcher>();
  }

  dataDirectory_ = ChooseDataDirectory(CurrentPathFacts(), options.simulate, options.dataDir, DirectoryWritable);
  if (!EnsureDirectory(dataDirectory_, error)) return false;

  engine_ = std::make_unique<Engine>(*drives_, volumes, *clock_, ui);
  eventLog_ = std::make_unique<EventLogWriter>(dataDirectory_);
  engine_->AttachEventLog(eventLog_.get());

  const bool ownFolder = options.simulate || !options.dataDir.empty();
  settingsPath_ = SettingsFilePath(ownFolder ? dataDirectory_ : std::string());
  settings_ = std::make_unique<RegFileSettingsStore>(settingsPath_);
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
  mail_->SetLogSink([this](const std::string& line) { eventLog_->QueueLine(line); });

  if (simulator_) {
    simulator_->setDeviceChangeListener([this] { engine_->DeviceChangeNotice(); });
    engine_->SetStepHook([this] { simulator_->Advance(); });
  } else if (udev_->active()) {
    engine_->SetStepHook([this] {
      if (udev_->TakeEvents()) engine_->DeviceChangeNotice();
    });
  }
  return true;
}

void Program::Start() {
  engine_->Start();
  mail_->StartUp();
  engine_->AddPoller("TEmailThread", kEmailThreadIntervalMs, [this] { mail_->EmailThreadTick(); },
                     [this] { return mail_->HasWork(); });
}

bool Program::Close(std::string& error) {
  if (closed_ || !engine_) return true;
  if (!engine_->Close()) return false;
  closed_ = true;
  if (simulator_ && !options_.simStateDir.empty() && !simulator_->saveState(options_.simStateDir, error)) return false;
  return true;
}

}  // namespace rur
