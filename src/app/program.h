// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program put together: clock, drives (the host's or a simulated enclosure's), data folder,
// engine, event log, settings and mail. The window and rurctl both start from here, so a run
// behaves the same whichever face it has.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/engine.h"
#include "app/mail_refusals.h"
#include "app/relayed_drives.h"
#include "firmware/upgrade_status.h"
#include "platform/hook_runner.h"

namespace rur {

namespace sim {
class SimulatedHost;
}
class EventLogWriter;
class HostDriveSource;
class MailCenter;
class MailTransport;
class MetricsTextfile;
class SettingsStore;
class UdevWatcher;
class UpgradeJournal;

struct ProgramOptions {
  bool simulate = false;
  std::string scenarioPath;  // with simulate; empty: the bundled demo
  std::string simStateDir;   // where a simulated enclosure keeps its state between runs
  std::string dataDir;       // overrides the data folder
  bool virtualTime = false;
  std::string traceFile;                   // requests of the simulated drives, one line each
  bool pumpWhileWaiting = false;           // real clock: waits let the window handle its events
  std::vector<std::string> eventPrograms;  // run on every event (RunOnEvents); failures go to the status bar
  // Detection probes the disks on a USB bus; allDisks (or the setting "ProbeAllDisks" = 1) every
  // disk. Drives named explicitly are probed whatever their bus.
  bool allDisks = false;
  std::vector<unsigned> alsoDrives;
};

// The setting that makes the window (and rurctl) probe every disk, a 32-bit integer: 1 = on.
constexpr const char* kProbeAllDisksSetting = "ProbeAllDisks";

class Program {
 public:
  Program();
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Before Open: the enclosures are those of the host's service, asked through it (not with
  // simulate). Detection, the watch and the pages run as usual on its answers.
  void RelayThrough(std::unique_ptr<RelayedDrives> drives);
  bool relayed() const { return relayed_ != nullptr; }

  // Builds everything; false with a message when the scenario or the data folder is unusable.
  bool Open(const ProgramOptions& options, Ui& ui, std::string& error);
  // Starts the engine (first detection, timers) and the mail settings, after telling the user of
  // any firmware upgrade that did not finish.
  void Start();
  // Firmware upgrades left unfinished (their journal records): a message and a day-log line each.
  // Start does this; a command that reaches the devices without starting the engine calls it.
  void ReportUnfinishedUpgrades();
  // Whether that report also goes to the day log (a dry run writes nothing at all).
  void LogUnfinishedUpgrades(bool logged) { logUnfinished_ = logged; }
  // Where interrupted upgrades are recorded, for readers that want the records themselves.
  const UpgradeJournal& upgradeJournal() const { return *journal_; }
  // Whether the enclosure on a drive has an upgrade under way, cut off, or neither: what status,
  // the service and the window tell beside the flash's own verdict.
  UpgradeStatus UpgradeStatusOfDrive(unsigned drive);
  // How the user knows physical drive n: its device node, or the simulated drive's name.
  std::string DrivePath(unsigned drive) const;
  // A recipient the mail server refused, by the number its event's tag carries; null if unknown.
  const RecipientRefusal* mailRefusal(std::uint32_t number) const { return refusals_.Find(number); }
  // The offset from UTC of a local time of the program's clock, in seconds.
  int clockUtcOffset(const LocalDateTime& time) const { return clock_->utcOffsetSeconds(time); }
  // Runs each of `programs` on every event (see EventRunsPrograms) with the event in its
  // environment; `report` hears of those that fail. Close waits for those still running.
  void RunOnEvents(std::vector<std::string> programs, HookRunner::Report report,
                   std::chrono::milliseconds limit = kHookTimeLimit);
  void WaitForEventPrograms() {
    if (hooks_) hooks_->WaitAll();
  }
  // Writes the metrics file into `folder` after every refresh from now on (empty: no more).
  void WriteMetricsTo(const std::string& folder);
  // The folder the settings name for the metrics file (the string value "MetricsTextfileDir"
  // beside the mail settings); empty when none is set. The window and rurctl monitor use it.
  std::string StoredMetricsFolder();
  // The metrics file, or nullptr when none is written.
  const MetricsTextfile* metrics() const { return metrics_.get(); }
  // Stops the engine; false while a firmware upgrade refuses it. Saves a simulated enclosure's state.
  bool Close(std::string& error);

  Engine& engine() { return *engine_; }
  Clock& clock() { return *clock_; }
  DriveSource& drives() { return *drives_; }
  MailCenter& mail() { return *mail_; }
  EventLogWriter& eventLog() { return *eventLog_; }
  sim::SimulatedHost* simulator() { return simulator_; }
  const std::string& dataDirectory() const { return dataDirectory_; }
  const std::string& settingsPath() const { return settingsPath_; }

 private:
  ProgramOptions options_;
  Ui* ui_ = nullptr;
  std::string dataDirectory_;
  std::string settingsPath_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<DriveSource> drives_;
  sim::SimulatedHost* simulator_ = nullptr;  // drives_ when simulating
  std::unique_ptr<UdevWatcher> udev_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<EventLogWriter> eventLog_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<MailTransport> transport_;
  std::unique_ptr<MailCenter> mail_;
  MailRefusals refusals_;
  std::unique_ptr<UpgradeJournal> journal_;
  std::unique_ptr<HookRunner> hooks_;
  std::unique_ptr<MetricsTextfile> metrics_;
  HostDriveSource* hostDrives_ = nullptr;         // drives_ when working on the host's disks
  std::unique_ptr<RelayedDrives> relayedToOpen_;  // given before Open
  RelayedDrives* relayed_ = nullptr;              // drives_ when the host's service owns the controllers
  bool unfinishedReported_ = false;
  bool logUnfinished_ = true;
  bool closed_ = false;
};

}  // namespace rur
