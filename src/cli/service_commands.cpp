// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl's commands as clients of rode-rurd: where the service owns the enclosures, each asks it
// and prints what the command prints when it runs the engine itself, with the same exit status.
// A refusal of polkit is "not authorized: <what>" and exit 1.

#include "cli/command_table.h"
#include "cli/json_text.h"
#include "cli/service_client.h"

#if RUR_SERVICE_CLIENT
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>

#include <sdbus-c++/sdbus-c++.h>
#include <nlohmann/json.hpp>

#include "cli/cli_ui.h"
#include "cli/command_arguments.h"
#include "cli/event_json.h"
#include "cli/hex_dump.h"
#include "cli/mail_changes.h"
#include "cli/mail_queue_report.h"
#include "cli/monitor_service.h"
#include "cli/service_job.h"
#include "cli/smart_report.h"
#include "firmware/firmware_image.h"
#include "monitor/event_log.h"
#include "notify/mail_center.h"
#include "notify/mail_message.h"
#include "notify/mail_settings.h"
#include "notify/queued_mail.h"
#include "platform/input_file.h"
#include "platform/service_bus_names.h"
#include "platform/terminal_input.h"
#include "transport/commands.h"
#endif

namespace rur::cli {

#if RUR_SERVICE_CLIENT
namespace {

using bus::kBusName;
using bus::kEnclosureInterface;
using bus::kErrorPrefix;
using bus::kJobInterface;
using bus::kManagerInterface;
using bus::kManagerPath;
constexpr const char* kUnknownObject = "org.freedesktop.DBus.Error.UnknownObject";
// The longest a job is waited for between two of its signals: far beyond any erase or program step.
constexpr std::chrono::minutes kJobSilenceLimit{10};
constexpr int kPollSliceMs = 200;
// A test mail or a flush waits for the mail server as long as the settings' time-out allows (at
// most an hour for the connection and as long for the transfer), not the bus's usual 25 s.
constexpr std::chrono::hours kDeliveryCallLimit{2};
constexpr std::uint64_t kMillisecondsPerSecond = 1000;
constexpr std::uint32_t kWholePercent = 100;

using Dictionary = std::map<std::string, sdbus::Variant>;

// A failure told as the in-process command tells it, with its exit status.
struct Refusal {
  std::string message;
  int status = kExitFailed;
};

template <typename T>
T Read(const Dictionary& values, const char* name) {
  const auto found = values.find(name);
  return found == values.end() ? T{} : found->second.get<T>();
}

// "command: message" on err and, with --json, {"error": message} on out, as Fail does in-process.
int Tell(std::string_view command, const CommandOptions& options, std::ostream& out, std::ostream& err,
         const Refusal& refusal) {
  err << command << ": " << refusal.message << '\n';
  if (options.json) out << JsonText(nlohmann::json{{"error", refusal.message}}, 2) << '\n';
  return refusal.status;
}

// Runs `work` against the service; the service's errors become the command's failure messages.
// `invalidStatus`: the exit status of a value the service did not take.
int Guarded(std::string_view command, const CommandOptions& options, std::ostream& out, std::ostream& err,
            const std::function<int()>& work, int invalidStatus = kExitFailed) {
  try {
    return work();
  } catch (const Refusal& refusal) {
    return Tell(command, options, out, err, refusal);
  } catch (const sdbus::Error& failure) {
    const std::string name = failure.getName();
    const bool invalid = name == std::string(kErrorPrefix) + "InvalidArgument";
    const bool ours = name.rfind(kErrorPrefix, 0) == 0;
    return Tell(command, options, out, err,
                {ours ? failure.getMessage() : "cannot ask the service rode-rurd: " + failure.getMessage(),
                 invalid ? invalidStatus : kExitFailed});
  }
}

class Service {
 public:
  Service() : connection_(sdbus::createSystemBusConnection()) {}

  std::unique_ptr<sdbus::IProxy> Manager() { return sdbus::createProxy(*connection_, kBusName, kManagerPath); }
  // The object of Device<device>; "no DeviceN (K enclosures found)" when there is none.
  std::unique_ptr<sdbus::IProxy> Enclosure(unsigned device) {
    std::vector<sdbus::ObjectPath> paths;
    Manager()->callMethod("GetEnclosures").onInterface(kManagerInterface).storeResultsTo(paths);
    if (device < 1 || device > paths.size())
      throw Refusal{"no Device" + std::to_string(device) + " (" + std::to_string(paths.size()) + " enclosure" +
                    (paths.size() == 1 ? "" : "s") + " found)"};
    return sdbus::createProxy(*connection_, kBusName, paths[device - 1]);
  }
  Dictionary MailSettings() {
    Dictionary settings;
    Manager()->callMethod("GetMailSettings").onInterface(kManagerInterface).storeResultsTo(settings);
    return settings;
  }
  std::vector<Dictionary> Outbox() {
    std::vector<Dictionary> mails;
    Manager()->callMethod("GetOutbox").onInterface(kManagerInterface).storeResultsTo(mails);
    return mails;
  }
  sdbus::IConnection& connection() { return *connection_; }

 private:
  std::unique_ptr<sdbus::IConnection> connection_;
};

unsigned DeviceOf(const CommandOptions& options) { return options.device == 0 ? 1 : options.device; }

// --- smart ------------------------------------------------------------------------------------

SmartPageModel SmartPageOf(const Dictionary& smart) {
  SmartPageModel page;
  page.heading = Read<std::string>(smart, "heading");
  page.verdict = Read<std::string>(smart, "verdict");
  page.verdictColour = static_cast<Rgb>(std::stoul(Read<std::string>(smart, "verdict_colour"), nullptr, 16));
  page.gridVisible = Read<bool>(smart, "grid_visible");
  for (const Dictionary& values : Read<std::vector<Dictionary>>(smart, "rows")) {
    SmartRow row;
    row.attribute.id = Read<uint8_t>(values, "id");
    row.attribute.current = Read<uint8_t>(values, "value");
    row.attribute.worst = Read<uint8_t>(values, "worst");
    row.attribute.threshold = Read<uint8_t>(values, "threshold");
    row.cells[kColumnName] = Read<std::string>(values, "name");
    row.cells[kColumnCurrent] = Read<std::string>(values, "value_text");
    row.cells[kColumnWorst] = Read<std::string>(values, "worst_text");
    row.cells[kColumnThreshold] = Read<std::string>(values, "threshold_text");
    row.cells[kColumnRaw] = Read<std::string>(values, "raw");
    row.cells[kColumnStatus] = Read<std::string>(values, "status");
    row.colour = static_cast<Rgb>(std::stoul(Read<std::string>(values, "colour"), nullptr, 16));
    page.rows.push_back(row);
  }
  page.rowCount = page.rows.size();
  return page;
}

int Smart(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded("smart", options, out, err, [&] {
    Service service;
    auto enclosure = service.Enclosure(DeviceOf(options));
    Dictionary smart;
    enclosure->callMethod("GetSmart")
        .onInterface(kEnclosureInterface)
        .withArguments(uint32_t{options.bay})
        .storeResultsTo(smart);
    const std::string health = enclosure->getProperty("Health").onInterface(kEnclosureInterface).get<std::string>();
    const SmartPageModel page = SmartPageOf(smart);
    if (options.json)
      out << JsonText(SmartJson(page, Read<uint32_t>(smart, "device"), options.bay), 2) << '\n';
    else
      out << Read<std::string>(smart, "label") << "\n" << SmartText(page);
    if (!Read<bool>(smart, "thresholds_valid")) err << "smart: some threshold pages could not be read\n";
    int status = (health == "failed" ? kExitUnavailable : 0) | (health == "degraded" ? kExitDegraded : 0);
    if (page.verdict == " Error ") status |= kExitSmartError;
    if (page.verdict == " Warning ") status |= kExitSmartWarning;
    return status;
  });
}

// --- query ------------------------------------------------------------------------------------

// The enclosure whose controller is on `drive`, numbered from 1; 0 when none is.
unsigned DeviceOnDrive(Service& service, unsigned drive) {
  std::vector<sdbus::ObjectPath> paths;
  service.Manager()->callMethod("GetEnclosures").onInterface(kManagerInterface).storeResultsTo(paths);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    auto enclosure = sdbus::createProxy(service.connection(), kBusName, paths[i]);
    if (enclosure->getProperty("Drive").onInterface(kEnclosureInterface).get<uint32_t>() == drive)
      return static_cast<unsigned>(i + 1);
  }
  return 0;
}

// --- firmware ---------------------------------------------------------------------------------

// Waits for the job's end, drawing its progress as the in-process run does; its outcome.
std::pair<bool, std::string> FollowJob(Service& service, const sdbus::ObjectPath& job,
                                       std::optional<std::pair<bool, std::string>>& completed, std::ostream& err) {
  CliUi ui(err, {});
  auto proxy = sdbus::createProxy(service.connection(), kBusName, job);
  uint32_t percent = 0;
  ui.setProgressSource([&percent] { return std::pair<int, int>(static_cast<int>(percent), kWholePercent); });
  auto lastNews = std::chrono::steady_clock::now();
  while (!completed) {
    const auto data = service.connection().getEventLoopPollData();
    pollfd descriptor{data.fd, data.events, 0};
    ::poll(&descriptor, 1, kPollSliceMs);
    while (service.connection().processPendingRequest()) {
    }
    if (completed) break;
    // The job may have ended before the signal was matched: its step tells. A service that went
    // away took the job with it, perhaps in the middle of the flash.
    std::string step;
    uint32_t now = 0;
    try {
      step = proxy->getProperty("Step").onInterface(kJobInterface).get<std::string>();
      now = proxy->getProperty("Percent").onInterface(kJobInterface).get<uint32_t>();
    } catch (const sdbus::Error&) {
      ui.finishProgress();
      throw Refusal{
          "the service stopped during the upgrade: the flash may be incomplete; run rurctl firmware again "
          "with the same image to finish it"};
    }
    if (now != percent || step == "done" || step == "failed") lastNews = std::chrono::steady_clock::now();
    percent = now;
    ui.pump();
    if ((step == "done" || step == "failed") && !completed) {
      const std::string message = proxy->getProperty("Message").onInterface(kJobInterface).get<std::string>();
      completed = std::pair<bool, std::string>(
          step == "done", !message.empty() || step == "done" ? message : "the upgrade did not succeed");
    }
    if (std::chrono::steady_clock::now() - lastNews > kJobSilenceLimit)
      throw Refusal{"the service has not reported on the upgrade for 10 minutes; see journalctl -u rode-rur.service"};
  }
  ui.finishProgress();
  return *completed;
}

// ", version V, N bytes, checksum C" of the image file, as the in-process upgrade shows it once
// loaded; empty when the file cannot be read (the service then says why it refuses it).
std::string ImageFacts(const std::string& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return std::string();
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  if (bytes.size() < image_offset::kHeaderEnd) return std::string();
  const std::uint8_t* field = bytes.data() + image_offset::kVersion;
  const std::uint32_t version =
      (std::uint32_t{field[0]} << 24) | (std::uint32_t{field[1]} << 16) | (std::uint32_t{field[2]} << 8) | field[3];
  char text[96];
  std::snprintf(text, sizeof text, ", version %X, %zu bytes, checksum %08X", version, bytes.size(),
                ImageChecksum(bytes.data(), bytes.size()));
  return text;
}

int Firmware(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  const std::string& file = options.words.front();
  constexpr std::uint64_t kLargestImageFile = 64u << 20;
  std::string error;
  if (!CheckInputFile(file, kLargestImageFile, error))
    return Tell("firmware", options, out, err, {file + " " + error, kExitUsage});
  if (options.json) return Tell("firmware", options, out, err, {"--json goes with --dry-run only", kExitUsage});
  if (!options.yes && !InputIsTerminal()) {
    err << "firmware: no terminal to confirm the upgrade on; add --yes to upgrade without asking, or "
           "--dry-run to check only\n";
    return kExitUsage;
  }
  return Guarded("firmware", options, out, err, [&] {
    // The user's own rights open the image; the service reads it through the descriptor.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Refusal{"cannot open " + file + ": " + std::strerror(errno), kExitUsage};
    const sdbus::UnixFd image(fd, sdbus::adopt_fd);
    Service service;
    auto enclosure = service.Enclosure(DeviceOf(options));
    const auto drive = enclosure->getProperty("Drive").onInterface(kEnclosureInterface).get<uint32_t>();
    const auto property = [&enclosure](const char* name) {
      return enclosure->getProperty(name).onInterface(kEnclosureInterface).get<std::string>();
    };
    out << "Device: Device" << DeviceOf(options) << " (drive " << drive << ", " << property("Path") << "), "
        << property("Product") << ", firmware " << property("Firmware") << " (version " << property("FirmwareVersion")
        << ")\n"
        << "Image:  " << file << ImageFacts(file) << "\n"
        << std::flush;
    if (!options.yes) {
      err << "Erase and rewrite the flash of Device" << DeviceOf(options) << "? Type yes to go on: " << std::flush;
      std::string answer;
      if (!std::getline(std::cin, answer) || (answer != "yes" && answer != "y" && answer != "YES" && answer != "Yes"))
        throw Refusal{"not confirmed; the flash was not touched"};
    }
    JobCompletion end(service.connection());
    enclosure->callMethod("UpgradeFirmware")
        .onInterface(kEnclosureInterface)
        .withArguments(image, Dictionary{{"force", sdbus::Variant(options.force)}})
        .storeResultsTo(end.job);
    const auto [ok, message] = FollowJob(service, end.job, end.completed, err);
    if (!ok) throw Refusal{message};
    // The engine's closing words, as the in-process run prints them.
    if (!message.empty()) err << message << '\n';
    return kExitOk;
  });
}

// --- mail -------------------------------------------------------------------------------------

std::string SettingsFile(Service& service) { return Read<std::string>(service.MailSettings(), "SettingsFile"); }

int MailSet(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  const std::string& key = options.words[0];
  const std::string& value = options.words[1];
  return Guarded(
      "mail-set", options, out, err,
      [&] {
        Service service;
        auto manager = service.Manager();
        if (key == "Password" && value == "-") {
          std::string password, error;
          if (!ReadPassword(password, error)) throw Refusal{error, kExitUsage};
          manager->callMethod("SetMailPassword").onInterface(kManagerInterface).withArguments(password);
        } else {
          manager->callMethod("SetMailSetting")
              .onInterface(kManagerInterface)
              .withArguments(key, sdbus::Variant(value));
        }
        out << "Saved to " << SettingsFile(service) << ".\n";
        return kExitOk;
      },
      kExitUsage);
}

int MailRecipients(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  const std::string& action = options.words[0];
  const std::string& address = options.words[1];
  if (action != "add" && action != "remove")
    return Tell("mail-recipients", options, out, err, {"expected add or remove, not " + action, kExitUsage});
  return Guarded(
      "mail-recipients", options, out, err,
      [&] {
        Service service;
        const auto recipients = Read<std::vector<std::string>>(service.MailSettings(), "Recipients");
        const bool listed = std::find(recipients.begin(), recipients.end(), address) != recipients.end();
        if (action == "add" && listed) {
          out << address << " is a recipient already.\n";
          return kExitOk;
        }
        if (action == "remove" && !listed) throw Refusal{address + " is no recipient"};
        service.Manager()
            ->callMethod(action == "add" ? "AddRecipient" : "RemoveRecipient")
            .onInterface(kManagerInterface)
            .withArguments(std::string("alarm"), address);
        out << "Saved to " << SettingsFile(service) << ".\n";
        return kExitOk;
      },
      kExitUsage);
}

int MailTest(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded("mail-test", options, out, err, [&] {
    Service service;
    const Dictionary settings = service.MailSettings();
    service.Manager()->callMethod("SendTestMail").onInterface(kManagerInterface).withTimeout(kDeliveryCallLimit);
    out << kSendSuccessText << " (to "
        << TrimAddress(Read<std::string>(settings, std::string(kValueSenderAddress).c_str())) << ")\n";
    return kExitOk;
  });
}

// The service's outbox as the outbox files hold it, with ages counted from 0.
std::vector<QueuedMail> QueuedMails(const std::vector<Dictionary>& outbox) {
  std::vector<QueuedMail> mails;
  for (const Dictionary& values : outbox) {
    QueuedMail mail;
    mail.id = Read<std::string>(values, "id");
    mail.kind = static_cast<std::uint8_t>(Read<uint32_t>(values, "kind"));
    mail.raisedAt = -Read<int64_t>(values, "age_seconds");
    mail.attempts = Read<uint32_t>(values, "attempts");
    mail.lastError = Read<std::string>(values, "last_error");
    mail.recipients = Read<std::vector<std::string>>(values, "recipients");
    mails.push_back(std::move(mail));
  }
  return mails;
}

int MailQueue(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded("mail-queue", options, out, err, [&] {
    Service service;
    const std::string folder = Read<std::string>(service.MailSettings(), "OutboxFolder");
    if (!options.flush) {
      PrintMailQueue(folder, QueuedMails(service.Outbox()), 0, options.json, out);
      return kExitOk;
    }
    Dictionary counted;
    service.Manager()
        ->callMethod("FlushOutbox")
        .onInterface(kManagerInterface)
        .withTimeout(kDeliveryCallLimit)
        .storeResultsTo(counted);
    FlushReport report;
    report.tried = Read<uint32_t>(counted, "tried");
    report.sent = Read<uint32_t>(counted, "sent");
    report.refused = Read<uint32_t>(counted, "refused");
    report.givenUp = Read<uint32_t>(counted, "given_up");
    report.settledElsewhere = Read<uint32_t>(counted, "settled_elsewhere");
    return PrintFlushedQueue(folder, report, QueuedMails(service.Outbox()), 0, options.json, out, err);
  });
}

// --- log and monitor --------------------------------------------------------------------------

int Log(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded("log", options, out, err, [&] {
    Service service;
    std::string text;
    service.Manager()
        ->callMethod("GetLog")
        .onInterface(kManagerInterface)
        .withArguments(std::string())
        .storeResultsTo(text);
    const std::vector<std::string> lines = SplitLogLines(text);
    if (options.json) {
      out << JsonText(nlohmann::json{{"file", "rode-rurd"}, {"lines", lines}}, 2) << '\n';
      return kExitOk;
    }
    for (const auto& line : lines) out << line << '\n';
    return kExitOk;
  });
}

volatile std::sig_atomic_t monitorStop = 0;
extern "C" void StopMonitor(int) { monitorStop = 1; }

EventFacts FactsOf(const Dictionary& fields) {
  EventFacts facts;
  facts.time = Read<std::string>(fields, "time");
  facts.event = Read<std::string>(fields, "event");
  facts.path = Read<std::string>(fields, "path");
  facts.text = Read<std::string>(fields, "text");
  if (fields.count("device")) facts.device = static_cast<int>(Read<uint32_t>(fields, "device"));
  if (fields.count("drive")) facts.drive = static_cast<int>(Read<uint32_t>(fields, "drive"));
  facts.bay = Read<uint32_t>(fields, "bay");
  facts.alarmKind = Read<uint32_t>(fields, "alarm_kind");
  return facts;
}

int Monitor(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  if (!options.exec.empty() || options.textfileDir) {
    err << "monitor: the service rode-rurd watches this host and runs its programs and metrics; "
           "--exec and --textfile-dir go with --direct only where the service does not run\n";
    return kExitUsage;
  }
  return Guarded("monitor", options, out, err, [&] {
    Service service;
    const MonitorService journal(ServiceNotifier(std::string()), StreamIsJournal(STDOUT_FILENO));
    auto manager = service.Manager();
    // As in-process, the text shows the log lines that arrived together before their alarms.
    std::vector<std::string> lines, alarms;
    manager->uponSignal("Event").onInterface(kManagerInterface).call([&](const Dictionary& fields) {
      const EventFacts facts = FactsOf(fields);
      if (options.json)
        out << JsonText(EventJson(facts)) << '\n';
      else if (facts.alarmKind != 0)
        alarms.push_back(journal.AlarmLine("Alarm: " + facts.text));
      else
        lines.push_back(journal.EventLogLine(facts.text));
    });
    manager->finishRegistration();
    monitorStop = 0;
    std::signal(SIGINT, StopMonitor);
    std::signal(SIGTERM, StopMonitor);
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(options.forSeconds.value_or(0) * kMillisecondsPerSecond);
    while (!monitorStop && (!options.forSeconds || std::chrono::steady_clock::now() < end)) {
      const auto data = service.connection().getEventLoopPollData();
      pollfd descriptor{data.fd, data.events, 0};
      ::poll(&descriptor, 1, kPollSliceMs);
      while (service.connection().processPendingRequest()) {
      }
      for (const auto& line : lines) out << line << '\n';
      for (const auto& alarm : alarms) out << alarm << '\n';
      lines.clear();
      alarms.clear();
      out.flush();
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return kExitOk;
  });
}

int Query(const CommandOptions& options, std::ostream& out, std::ostream& err, unsigned device) {
  return Guarded(
      "query", options, out, err,
      [&] {
        Service service;
        auto enclosure = service.Enclosure(device);
        std::uint64_t code = 0;
        ParseHexNumber(options.words.front(), 0xFF, code);
        uint8_t result = 0;
        std::vector<uint8_t> answer;
        enclosure->callMethod("Query")
            .onInterface(kEnclosureInterface)
            .withArguments(static_cast<uint8_t>(code))
            .storeResultsTo(result, answer);
        char line[32];
        std::snprintf(line, sizeof line, "result %02X\n", result);
        out << line << HexDump(answer.data(), answer.size());
        return result == kResultOk ? kExitOk : kExitFailed;
      },
      kExitUsage);
}

}  // namespace

int RunThroughService(std::string_view command, const CommandOptions& options, std::ostream& out, std::ostream& err,
                      bool& handled) {
  handled = true;
  // --drive names a drive of this host, which the service may not list: those run in-process.
  const bool byDrive = !options.drive.empty();
  if (command == "smart" && !byDrive) return Smart(options, out, err);
  if (command == "firmware" && !byDrive && !options.dryRun) return Firmware(options, out, err);
  if (command == "mail-set") return MailSet(options, out, err);
  if (command == "mail-recipients") return MailRecipients(options, out, err);
  if (command == "mail-test") return MailTest(options, out, err);
  if (command == "mail-queue") return MailQueue(options, out, err);
  if (command == "log" && options.words.empty()) return Log(options, out, err);
  if (command == "monitor") return Monitor(options, out, err);
  std::uint64_t code = 0;
  constexpr std::uint8_t kStatusQueries[] = {QUERY_PROBE, QUERY_IDENTITY, QUERY_REBUILD, QUERY_MEMBERS};
  if (command == "query" && ParseHexNumber(options.words.front(), 0xFF, code) &&
      std::find(std::begin(kStatusQueries), std::end(kStatusQueries), code) != std::end(kStatusQueries)) {
    // The query goes to the controller of a drive; through the service when it lists that drive.
    std::uint64_t drive = 0;
    if (options.drive.empty() || ParseNumber(options.drive, UINT32_MAX, drive)) {
      try {
        Service service;
        if (const unsigned device = DeviceOnDrive(service, static_cast<unsigned>(drive)); device != 0)
          return Query(options, out, err, device);
      } catch (const sdbus::Error&) {
      }
    }
  }
  handled = false;
  return kExitOk;
}

#else

int RunThroughService(std::string_view, const CommandOptions&, std::ostream&, std::ostream&, bool& handled) {
  handled = false;
  return 0;
}

#endif

}  // namespace rur::cli
