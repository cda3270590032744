// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl mail-queue [--flush]: the alarm mails that wait in the outbox of the data folder (age,
// kind, recipients, attempts, the last error); with --flush each is tried now with the stored
// settings, what the flush did with them is counted, and what still waits is listed again.

#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/json_text.h"
#include "cli/mail_queue_report.h"
#include "notify/mail_outbox.h"
#include "notify/standalone_mail.h"

namespace rur::cli {
namespace {

std::string AgeText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const std::int64_t minutes = seconds / 60, hours = minutes / 60, days = hours / 24;
  if (days > 0) return std::to_string(days) + " d " + std::to_string(hours % 24) + " h";
  if (hours > 0) return std::to_string(hours) + " h " + std::to_string(minutes % 60) + " min";
  return std::to_string(minutes) + " min";
}

nlohmann::json MailsJson(const std::vector<QueuedMail>& mails, std::int64_t now) {
  nlohmann::json list = nlohmann::json::array();
  for (const QueuedMail& mail : mails)
    list.push_back({{"id", mail.id},
                    {"age_seconds", std::max<std::int64_t>(0, now - mail.raisedAt)},
                    {"kind", mail.kind},
                    {"recipients", mail.recipients},
                    {"attempts", mail.attempts},
                    {"last_error", mail.lastError}});
  return list;
}

void ListMails(const std::vector<QueuedMail>& mails, std::int64_t now, std::ostream& out) {
  for (const QueuedMail& mail : mails) {
    const std::string caption = mail.kind >= 1 && mail.kind <= kAlarmKindCount
                                    ? std::string(MailKindCaptions[static_cast<std::size_t>(mail.kind - 1)])
                                    : "kind " + std::to_string(mail.kind);
    out << mail.id << "  age " << AgeText(now - mail.raisedAt) << "  " << caption << "  to";
    for (const auto& recipient : mail.recipients) out << ' ' << recipient;
    out << "\n    " << mail.attempts << (mail.attempts == 1 ? " attempt" : " attempts");
    if (!mail.lastError.empty()) out << ", last error: " << mail.lastError;
    out << '\n';
  }
}

}  // namespace

void PrintMailQueue(const std::string& folder, const std::vector<QueuedMail>& mails, std::int64_t now, bool json,
                    std::ostream& out) {
  if (json) {
    out << JsonText(nlohmann::json{{"outbox", folder}, {"mails", MailsJson(mails, now)}}, 2) << '\n';
    return;
  }
  if (mails.empty()) out << "No mail waits in " << folder << ".\n";
  ListMails(mails, now, out);
}

int PrintFlushedQueue(const std::string& folder, const FlushReport& report, const std::vector<QueuedMail>& waiting,
                      std::int64_t now, bool json, std::ostream& out, std::ostream& err) {
  const std::size_t left = waiting.size();
  if (json) {
    nlohmann::json printed{{"outbox", folder},
                           {"sent", report.sent},
                           {"refused", report.refused},
                           {"given_up", report.givenUp},
                           {"settled_elsewhere", report.settledElsewhere},
                           {"mails", MailsJson(waiting, now)}};
    if (left != 0) printed["error"] = std::to_string(left) + (left == 1 ? " mail still waits" : " mails still wait");
    out << JsonText(printed, 2) << '\n';
  } else {
    // Only what this flush did: another sender may have settled some of the mails meanwhile.
    out << report.sent << " of " << report.tried << (report.tried == 1 ? " mail" : " mails") << " sent";
    const auto part = [&out](std::size_t count, const char* what) {
      if (count != 0) out << "; " << count << ' ' << what;
    };
    part(report.refused, "refused by the server for good (the day log names the recipients)");
    part(report.givenUp, "given up (the day log says why)");
    part(report.settledElsewhere, "sent or removed by another process meanwhile");
    out << ".\n";
  }
  if (left == 0) return kExitOk;
  if (!json) ListMails(waiting, now, out);
  err << "mail-queue: " << left << (left == 1 ? " mail still waits" : " mails still wait") << '\n';
  return kExitFailed;
}

int RunMailQueue(CommandContext& context) {
  const bool json = context.options.json;
  const std::string folder = OutboxFolderOf(context.env.dataDirectory());
  const std::int64_t now = CivilSeconds(context.env.clock().localTime());

  if (!context.options.flush) {
    std::vector<std::string> problems;
    const std::vector<QueuedMail> mails = MailOutbox(folder).Load(problems);
    for (const auto& problem : problems) context.err << "mail-queue: " << problem << '\n';
    PrintMailQueue(folder, mails, now, json, context.out);
    return kExitOk;
  }

  const GlobalOptions& options = context.env.options();
  StandaloneMail mail(options.simulate || !options.dataDir.empty() ? context.env.dataDirectory() : std::string(),
                      context.env.ui(), context.env.clock());
  const bool loaded = mail.Load();
  for (const auto& message : mail.TakeMessages()) context.err << "mail-queue: " << message << '\n';
  if (!loaded) return Fail(context, "mail-queue", "no mail settings could be loaded from " + mail.settingsPath());
  MailCenter& center = mail.center();
  center.UseOutbox(folder);
  const FlushReport report = center.FlushOutbox();
  return PrintFlushedQueue(folder, report, center.Outbox(), now, json, context.out, context.err);
}

}  // namespace rur::cli
