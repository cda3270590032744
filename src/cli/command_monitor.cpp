// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl monitor [--for SECONDS] [--json] [--exec PROG]... [--textfile-dir DIR]: the program without its window:
// detection, a refresh every 5 s, device changes, the day's event log and alarm mails. Every new
// log line is printed too; with --json each line and alarm is one JSON object on standard output
// and everything else goes to standard error. --exec runs programs on the events.
// At its end it waits for the mails on their way; what could not be delivered stays in the
// outbox for the next run, which is no failure of the monitor. Log lines that cannot be saved
// are reported on stderr, and a run that ends with some unsaved exits with a failure.
// SIGHUP reloads the mail settings; SIGINT and SIGTERM end the run. With --textfile-dir DIR the
// metrics file DIR/rode_rur.prom is written after every refresh (cli/metrics_option.h).
// Once a day it removes the day logs older than the settings' LogKeepDays (cli/log_retention.h),
// and at its start it says when alarms cannot be mailed for want of a server or a recipient.

#include <unistd.h>

#include <csignal>

#include <nlohmann/json.hpp>

#include "app/event_facts.h"
#include "cli/engine_session.h"
#include "cli/event_json.h"
#include "cli/json_text.h"
#include "cli/log_retention.h"
#include "cli/metrics_option.h"
#include "cli/monitor_service.h"
#include "cli/watch_settings.h"
#include "monitor/event_log.h"
#include "notify/mail_center.h"
#include "platform/date_time_text.h"

namespace rur::cli {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t reloadRequested = 0;
extern "C" void RequestStop(int) { stopRequested = 1; }
extern "C" void RequestReload(int) { reloadRequested = 1; }

// Prints the log lines this run added since the last look; what the day's file held before (an
// earlier run's lines, another program's) is no news of this watch.
void PrintNewLines(const EventLogWriter& log, std::uint64_t& printed, const MonitorService& service,
                   std::ostream& out) {
  const auto& lines = log.lines();
  const std::uint64_t fresh = std::min<std::uint64_t>(log.linesAdded() - printed, lines.size());
  for (std::size_t i = lines.size() - static_cast<std::size_t>(fresh); i < lines.size(); ++i)
    out << service.EventLogLine(lines[i]) << '\n';
  printed = log.linesAdded();
  out.flush();
}

// Reads the mail settings again, as after a change on the E-mail page.
void ReloadMailSettings(MailCenter& mail, const std::string& settingsPath, const MonitorService& service,
                        std::ostream& out) {
  mail.StartUp();
  mail.LoadMailSettings();
  out << service.InfoLine("Mail settings reloaded from " + settingsPath + ": " +
                          std::to_string(mail.Recipients().size()) + " recipient(s)")
      << '\n';
  out.flush();
}

}  // namespace

nlohmann::json EventJson(const EventFacts& facts) {
  nlohmann::json line{{"time", facts.time},
                      {"event", facts.event},
                      {"device", facts.device > 0 ? nlohmann::json(facts.device) : nlohmann::json()},
                      {"drive", facts.drive >= 0 ? nlohmann::json(facts.drive) : nlohmann::json()},
                      {"path", facts.path},
                      {"text", facts.text}};
  if (facts.bay != 0) line["bay"] = facts.bay;
  if (facts.alarmKind != 0) line["alarm_kind"] = facts.alarmKind;
  if (!facts.recipient.empty()) {
    line["recipient"] = facts.recipient;
    line["code"] = facts.code != 0 ? nlohmann::json(facts.code) : nlohmann::json();
  }
  return line;
}

int RunMonitor(CommandContext& context) {
  const CommandOptions& options = context.options;
  const bool bounded = options.forSeconds.has_value();
  const std::uint64_t seconds = options.forSeconds.value_or(0);
  const bool json = options.json;
  // With --json standard output holds the JSON lines alone.
  std::ostream& notes = json ? context.err : context.out;
  MetricsOption metrics;
  if (options.textfileDir) {
    if (!metrics.Use(*options.textfileDir, context.env.program(), context.err)) return kExitUsage;
  } else {
    metrics.UseStored(context.env.program());
  }
  Clock& clock = context.env.clock();
  if (!bounded && clock.isVirtual()) {
    context.err << "monitor: on virtual time give the span to run with --for SECONDS\n";
    return kExitUsage;
  }

  stopRequested = 0;
  reloadRequested = 0;
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
#ifdef SIGHUP  // no hang-up signal on Windows
  std::signal(SIGHUP, RequestReload);
#endif
  MonitorService service(ServiceNotifier::FromEnvironment(), StreamIsJournal(STDOUT_FILENO));

  Engine& engine = context.env.engine();
  Program& program = context.env.program();
  EventLogWriter& log = program.eventLog();
  MailCenter& mail = program.mail();
  if (json) {
    engine.AddEventListener([&context, &program](const LogEvent& event) {
      context.out << JsonText(EventJson(DescribeEvent(event, program))) << '\n';
    });
  }
  if (const std::string unusable = UnusableSettingsFile(program.settingsPath()); !unusable.empty()) {
    context.err << "monitor: " << unusable << '\n';
    return kExitFailed;
  }
  program.RunOnEvents(options.exec,
                      [&context](const std::string& text) { context.err << "monitor: " << text << '\n'; });
  program.Start();
  const WatchSettings watch = ReadWatchSettings(program.settingsPath());
  // A simulated run's sandbox seldom has mail set up; there only the service's start says so.
  if (!watch.mailNotice.empty() && (!context.env.options().simulate || service.managed()))
    context.err << service.WarningLine(watch.mailNotice) << '\n';
  DailyLogPruning pruning(log.folder(), watch.logKeepDays);
  engine.SetDiskMemoryKeepDays(watch.logKeepDays);
  const std::uint64_t end = clock.nowMs() + seconds * 1000;
  std::uint64_t printed = log.linesAdded();
  std::uint64_t alarmsShown = mail.AlarmsRaised();
  auto printAlarms = [&] {
    const auto& recent = mail.RecentAlarms();
    const std::uint64_t missed = mail.AlarmsRaised() - alarmsShown;
    for (std::size_t i = recent.size() - std::min<std::size_t>(recent.size(), missed); i < recent.size(); ++i) {
      std::string alarm = "Alarm:";
      for (const auto& line : recent[i].lines) alarm += ' ' + line;
      context.out << service.AlarmLine(alarm) << '\n';
    }
    alarmsShown = mail.AlarmsRaised();
  };
  bool toldUnsaved = false;
  // Said once: a watch of nothing must not look like a quiet array. It keeps watching for one.
  bool toldNothingToWatch = false;
  // A slice ends with a wake-up of its own: a second keeps the output close to the events and a
  // signal's end prompt, without waking a watching process ten times a second for nothing.
  constexpr std::uint64_t kSliceMs = 1000;
  while (!stopRequested && (!bounded || clock.nowMs() < end)) {
    engine.RunFor(bounded ? std::min(kSliceMs, end - clock.nowMs()) : kSliceMs);
    service.Update(engine);
    if (!toldNothingToWatch && engine.everDetected() && engine.enclosures().empty()) {
      toldNothingToWatch = true;
      context.err << service.WarningLine(
                         "monitor: no enclosure was found, so there is nothing to watch; the watch goes on and "
                         "takes up an enclosure once one is connected")
                  << '\n';
    }
    if (json) {
      context.out.flush();
    } else {
      PrintNewLines(log, printed, service, context.out);
      printAlarms();
    }
    // Said once, also without --verbose: a watch whose log is not saved must not look fine.
    if (log.unsavedLineCount() == 0) {
      toldUnsaved = false;
    } else if (!toldUnsaved) {
      toldUnsaved = true;
      context.err << "monitor: the event log cannot be saved (" << log.lastSaveError()
                  << "); its lines are kept and tried again every minute\n";
    }
    metrics.ReportWriteFailure(context.env.program(), context.err);
    if (const std::string pruned = pruning.RunIfNewDay(clock.localTime()); !pruned.empty())
      context.err << service.InfoLine(pruned) << '\n';
    if (reloadRequested) {
      reloadRequested = 0;
      ReloadMailSettings(mail, program.settingsPath(), service, notes);
    }
  }
  service.Stopping();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
#ifdef SIGHUP
  std::signal(SIGHUP, SIG_DFL);
#endif
  mail.StopDeliveries();
  // A mail that is neither sent nor kept must not pass for one that waits in the outbox.
  for (const QueuedMail& lost : mail.TakeLostMails()) {
    std::string logError;
    log.AppendLine(lost.lastError + FormatDateTime(clock.localTime()), clock.localTime(), logError,
                   LogEventTag{LogEventKind::MailLost});
    context.err << service.AlarmLine("monitor: " + lost.lastError.substr(0, lost.lastError.size() - 2)) << '\n';
  }
  program.WaitForEventPrograms();
  if (json)
    context.out.flush();
  else
    PrintNewLines(log, printed, service, context.out);
  if (const std::size_t waiting = mail.Outbox().size(); waiting != 0)
    context.err << "monitor: " << waiting << (waiting == 1 ? " mail waits" : " mails wait") << " in the outbox "
                << OutboxFolderOf(context.env.dataDirectory()) << " (rurctl mail-queue lists them)\n";
  if (const std::size_t unsaved = log.unsavedLineCount()) {
    context.err << "monitor: " << unsaved << " event log line" << (unsaved == 1 ? "" : "s") << " could not be saved to "
                << log.folder() << " (" << log.lastSaveError() << ")\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace rur::cli
