// SPDX-License-Identifier: GPL-3.0-or-later
// rode-rurd [--simulate[=SCENARIO]] [--sim-state DIR] [--data-dir DIR] [--textfile-dir DIR]: the one owner of the
// host's enclosures. It runs the engine (detection, refresh, day log, alarm mails) and serves its model on the system
// bus as org.roderur.RodeRur1, which it takes only once the first detection is over, so no client sees an empty list
// during start-up. SIGINT and SIGTERM end it, once no flash is being written.
// The engine runs on a thread of its own; this thread serves the bus from the engine's snapshots,
// so no client waits for a controller, polkit or another client's job.

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "app/event_facts.h"
#include "app/program.h"
#include "cli/cli_ui.h"
#include "cli/engine_session.h"
#include "cli/monitor_service.h"
#include "emulator/scenario.h"
#include "notify/mail_center.h"
#include "platform/branding.h"
#include "platform/journal_stream.h"
#include "service/bus_mailbox.h"
#include "service/engine_thread.h"
#include "service/manager_object.h"
#include "service/service_ui.h"
#include "service/upgrade_jobs.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kAnswered = -1;  // --help or --version said all there is to say
// The longest wait for the bus: a stop request is seen within it.
constexpr std::uint64_t kLongestWaitMs = 1000;
constexpr std::uint64_t kMicrosecondsPerMs = 1000;

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t reloadRequested = 0;
extern "C" void RequestStop(int) { stopRequested = 1; }
extern "C" void RequestReload(int) { reloadRequested = 1; }

const char* const kUsage =
    "usage: rode-rurd [--simulate[=SCENARIO]] [--sim-state DIR] [--data-dir DIR] [--textfile-dir DIR]\n"
    "Watches the host's RODE RUR enclosures and serves them on the system bus as org.roderur.RodeRur1.\n"
    "  --simulate[=FILE]  work on simulated enclosures: the scenario FILE, or a bundled scenario by name\n"
    "  --sim-state DIR    keep the simulated enclosures' state in DIR between runs\n"
    "  --data-dir DIR     keep the day logs, settings and outbox in DIR\n"
    "  --textfile-dir DIR write the metrics file DIR/rode_rur.prom after every refresh (default: the\n"
    "                     setting MetricsTextfileDir)\n";

// Reads the options; kExitOk to go on, else the exit status (with what was said already said).
int ParseArguments(const std::vector<std::string>& arguments, rur::ProgramOptions& options,
                   std::string& metricsFolder) {
  const std::string simulatePrefix = "--simulate=";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    std::string error;
    if (argument == "--help" || argument == "-h") {
      std::cout << kUsage;
      return kAnswered;
    } else if (argument == "--version") {
      std::cout << "rode-rurd " << rur::VersionText << '\n';
      return kAnswered;
    } else if (argument == "--simulate" || argument.rfind(simulatePrefix, 0) == 0) {
      options.simulate = true;
      const std::string value = argument == "--simulate" ? std::string() : argument.substr(simulatePrefix.size());
      if (!rur::sim::ResolveScenarioArgument(value, options.scenarioPath, error)) {
        std::cerr << "rode-rurd: " << error << '\n';
        return kExitUsage;
      }
    } else if (argument == "--data-dir" && hasValue) {
      options.dataDir = arguments[++i];
    } else if (argument == "--textfile-dir" && hasValue) {
      metricsFolder = arguments[++i];
    } else if (argument == "--sim-state" && hasValue) {
      options.simStateDir = arguments[++i];
    } else {
      std::cerr << "rode-rurd: unknown or incomplete option " << argument << "\n" << kUsage;
      return kExitUsage;
    }
  }
  return kExitOk;
}

// Whether another process serves the name already: a second service leaves before it detects
// anything or writes a line.
bool NameTaken(sdbus::IConnection& connection) {
  auto bus = sdbus::createProxy(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
  bool owned = false;
  bus->callMethod("NameHasOwner")
      .onInterface("org.freedesktop.DBus")
      .withArguments(std::string(rur::service::kBusName))
      .storeResultsTo(owned);
  return owned;
}

// Serves the bus on this thread until a stop is asked for and no flash is being written: every
// read from the snapshots, every reply the engine's thread has posted, the jobs' progress.
void Serve(sdbus::IConnection& connection, rur::service::BusMailbox& mailbox, rur::service::UpgradeJobs& jobs) {
  bool waitingTold = false;
  for (;;) {
    if (const int held = jobs.TakeHeldSignal(); held == SIGTERM || held == SIGINT)
      RequestStop(held);
    else if (held == SIGHUP)
      RequestReload(held);
    if (stopRequested) {
      if (!jobs.upgradeRunning()) break;
      if (!waitingTold) std::cerr << "rode-rurd: the service ends once the flash being written is consistent\n";
      waitingTold = true;
    }
    const auto pollData = connection.getEventLoopPollData();
    int waitMs = static_cast<int>(kLongestWaitMs);
    if (const auto busTimeout = pollData.getRelativeTimeout())
      waitMs = static_cast<int>(
          std::min<std::uint64_t>(waitMs, static_cast<std::uint64_t>(busTimeout->count()) / kMicrosecondsPerMs));
    pollfd descriptors[] = {{pollData.fd, pollData.events, 0}, {mailbox.descriptor(), POLLIN, 0}};
    ::poll(descriptors, 2, waitMs);
    mailbox.RunPosted();
    while (connection.processPendingRequest()) {
    }
    jobs.Expire();
  }
}

}  // namespace

int main(int argc, char** argv) {
  rur::ProgramOptions options;
  std::string metricsFolder;
  if (const int status = ParseArguments({argv + 1, argv + argc}, options, metricsFolder); status != kExitOk)
    return status == kAnswered ? kExitOk : status;
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  std::signal(SIGHUP, RequestReload);

  std::unique_ptr<sdbus::IConnection> connection;
  try {
    connection = sdbus::createSystemBusConnection();
    if (NameTaken(*connection)) {
      std::cerr << "rode-rurd: " << rur::service::kBusName << " is served by another process already\n";
      return kExitFailed;
    }
  } catch (const sdbus::Error& failure) {
    std::cerr << "rode-rurd: the system bus: " << failure.getMessage() << " (" << failure.getName() << ")\n";
    return kExitFailed;
  }

  rur::cli::CliUi journalUi(std::cerr, {});
  rur::service::ServiceUi ui(journalUi);
  rur::Program program;
  std::string error;
  if (!program.Open(options, ui, error)) {
    std::cerr << "rode-rurd: " << error << '\n';
    return kExitFailed;
  }
  rur::service::BusMailbox mailbox;
  // Every event goes to the journal too, alarms as errors; on the bus once it is there.
  rur::service::ManagerObject* eventTarget = nullptr;
  const rur::cli::MonitorService journal(rur::ServiceNotifier(std::string()), rur::StreamIsJournal(STDOUT_FILENO));
  program.engine().AddEventListener([&eventTarget, &journal, &program, &mailbox](const rur::LogEvent& event) {
    std::cout << (event.tag.kind == rur::LogEventKind::Alarm ? journal.AlarmLine("Alarm: " + event.text)
                                                             : journal.EventLogLine(event.text))
              << std::endl;
    if (rur::service::ManagerObject* target = eventTarget)
      mailbox.Post([target, facts = rur::DescribeEvent(event, program)] { target->SendEvent(facts); });
  });
  program.WriteMetricsTo(metricsFolder.empty() ? program.StoredMetricsFolder() : metricsFolder);
  program.Start();
  if (!program.engine().RunUntilDetected(rur::cli::kDetectionWaitMs) && !stopRequested)
    std::cerr << "rode-rurd: the first detection did not finish; serving what is known\n";

  int status = kExitOk;
  try {
    // The mail settings of the data folder named, else the system's, as rurctl's mail commands find them.
    const std::string mailFolder =
        options.simulate || !options.dataDir.empty() ? program.dataDirectory() : std::string();
    rur::service::EngineThread engine(program);
    rur::service::Authority authority(*connection);
    rur::service::ServiceContext context{*connection, engine, mailbox, authority, ui, mailFolder};
    rur::service::UpgradeJobs jobs(context);
    context.jobs = &jobs;
    rur::service::ManagerObject manager(context);
    eventTarget = &manager;
    engine.Start(
        [&mailbox, &manager](rur::service::SnapshotPointer snapshot) {
          mailbox.Post([&manager, snapshot = std::move(snapshot)] { manager.Follow(snapshot); });
        },
        [&program] {
          if (reloadRequested) {
            // As after a change on the E-mail page.
            reloadRequested = 0;
            program.mail().StartUp();
            program.mail().LoadMailSettings();
          }
        });
    mailbox.RunPosted();  // the first snapshot's objects, before the name is taken
    connection->requestName(rur::service::kBusName);
    Serve(*connection, mailbox, jobs);
    engine.Stop();
    eventTarget = nullptr;
    connection->releaseName(rur::service::kBusName);
    mailbox.RunPosted();
  } catch (const sdbus::Error& failure) {
    eventTarget = nullptr;
    std::cerr << "rode-rurd: the system bus: " << failure.getMessage() << " (" << failure.getName() << ")\n";
    status = kExitFailed;
  }
  program.mail().StopDeliveries();
  for (const rur::QueuedMail& lost : program.mail().TakeLostMails())
    std::cerr << rur::JournalLine("rode-rurd: " + lost.lastError.substr(0, lost.lastError.size() - 2),
                                  rur::JournalPriority::Error, rur::StreamIsJournal(STDERR_FILENO))
              << '\n';
  if (!program.Close(error)) {
    std::cerr << "rode-rurd: " << error << '\n';
    status = kExitFailed;
  }
  return status;
}
