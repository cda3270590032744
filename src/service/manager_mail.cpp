// SPDX-License-Identifier: GPL-3.0-or-later
// The Manager's mail methods: the E-mail page for clients of the service. Changes go through the
// same page model and save as rurctl's mail commands and are then loaded into the service's own
// mail centre, which sends the alarm mails. Reading is open; changing needs manage-mail.

#include <algorithm>
#include <optional>
#include <thread>

#include "cli/command_table.h"
#include "cli/mail_changes.h"
#include "notify/mail_outbox.h"
#include "notify/standalone_mail.h"
#include "platform/safe_text.h"
#include "service/authorization.h"
#include "service/manager_object.h"
#include "service/service_errors.h"

namespace rur::service {
namespace {

using Dictionary = std::map<std::string, sdbus::Variant>;

// A change's outcome as the service answers it: a value that is not taken is the caller's to
// correct, anything else failed here.
Failure Outcome(const cli::MailChange& change) {
  if (change.status == cli::kExitOk) return {};
  return Failure{change.status == cli::kExitUsage ? kErrorInvalidArgument : kErrorFailed, change.text};
}

// A setting's value as text, whatever basic type the caller sent it as.
std::string ValueText(const sdbus::Variant& value) {
  if (value.containsValueOfType<std::string>()) return value.get<std::string>();
  if (value.containsValueOfType<bool>()) return value.get<bool>() ? "1" : "0";
  if (value.containsValueOfType<uint32_t>()) return std::to_string(value.get<uint32_t>());
  if (value.containsValueOfType<int32_t>()) return std::to_string(value.get<int32_t>());
  if (value.containsValueOfType<uint64_t>()) return std::to_string(value.get<uint64_t>());
  if (value.containsValueOfType<int64_t>()) return std::to_string(value.get<int64_t>());
  if (value.containsValueOfType<uint16_t>()) return std::to_string(value.get<uint16_t>());
  throw sdbus::Error(kErrorInvalidArgument, "a mail setting takes a string, a number or a boolean, not the type " +
                                                std::string(value.peekValueType()));
}

std::optional<sdbus::Error> AlarmKindRefusal(const std::string& kind) {
  // Every alarm kind mails the one list of recipients.
  if (kind != "alarm" && !kind.empty())
    return sdbus::Error(kErrorInvalidArgument, "the recipients' kind is \"alarm\", not \"" + kind + "\"");
  return std::nullopt;
}

// Addresses, folders and settings were typed by someone, in whatever encoding: as D-Bus strings.
std::vector<std::string> BusTexts(const std::vector<std::string>& texts) {
  std::vector<std::string> out;
  for (const std::string& text : texts) out.push_back(BusText(text));
  return out;
}

// The alarm kind in words, as rurctl mail-queue shows it.
std::string OutboxCaption(int kind) {
  return kind >= 1 && kind <= kAlarmKindCount ? std::string(MailKindCaptions[static_cast<std::size_t>(kind - 1)])
                                              : "kind " + std::to_string(kind);
}

}  // namespace

void ManagerObject::ChangeMail(sdbus::Result<>&& result, const std::string& what, std::function<Failure()> change) {
  auto reply = Keep(std::move(result));
  context_.authority.Check(Authority::SenderOf(getObject()), kActionManageMail, what,
                           [this, reply, change](std::optional<sdbus::Error> refusal) {
                             if (refusal) return reply->returnError(*refusal);
                             context_.engine.Post([this, reply, change] {
                               const Failure failure = change();
                               if (failure.message.empty()) {
                                 // As after a change on the E-mail page: the service's centre loads
                                 // what was stored.
                                 Program& program = context_.engine.program();
                                 program.mail().StartUp();
                                 program.mail().LoadMailSettings();
                               }
                               context_.bus.Post([reply, failure] {
                                 if (!failure.message.empty())
                                   return reply->returnError(sdbus::Error(failure.name, failure.message));
                                 reply->returnResults();
                               });
                             });
                           });
}

std::map<std::string, sdbus::Variant> ManagerObject::GetMailSettings() {
  // Without stored settings the defaults are shown, as the E-mail page shows them, so a client can
  // read the outbox's folder and set the first values.
  Ui quiet;
  StandaloneMail mail(context_.mailFolder, quiet, context_.engine.program().clock());
  mail.Load();
  mail.TakeMessages();
  const MailCenter& center = mail.center();
  const auto& settings = center.MailSettings();
  // Nothing loaded: every stored value reads empty.
  const auto setting = [&settings](std::size_t index) {
    return index < settings.size() ? BusText(settings[index]) : std::string();
  };

  return Dictionary{
      {std::string(kValuePort), sdbus::Variant(setting(kSettingPort))},
      {std::string(kValueHost), sdbus::Variant(setting(kSettingHost))},
      {std::string(kValueSenderName), sdbus::Variant(setting(kSettingSenderName))},
      {std::string(kValueSenderAddress), sdbus::Variant(setting(kSettingSenderAddress))},
      {std::string(kValueTimeOut), sdbus::Variant(setting(kSettingTimeOut))},
      {std::string(kValueAccount), sdbus::Variant(setting(kSettingAccount))},
      {std::string(kLoginSwitch), sdbus::Variant(center.AuthState() == kAuthLogin)},
      {std::string(kValueSuppressMask), sdbus::Variant(static_cast<uint32_t>(center.MailSuppressMask))},
      {std::string(kValueMailFolder), sdbus::Variant(BusText(center.MailFolder()))},
      {std::string(kValueAllowPlainLogin), sdbus::Variant(center.AllowPlainLogin())},
      {std::string(kValueCaFile), sdbus::Variant(BusText(center.CaFile()))},
      {std::string(kValueImplicitTls), sdbus::Variant(center.ImplicitTls())},
      {std::string(kValueFanMinRpm), sdbus::Variant(center.FanMinRpm())},
      {std::string(kValueTempAlarm), sdbus::Variant(center.TempAlarm())},
      {"SettingsFile", sdbus::Variant(BusText(mail.settingsPath()))},
      {"Stored", sdbus::Variant(mail.center().SettingsKeyExists())},
      {"PasswordSet", sdbus::Variant(!setting(kSettingPassword).empty())},
      {"PasswordDecodes", sdbus::Variant(center.AuthState() == kAuthLogin || center.AuthState() == kAuthNone)},
      {"Recipients", sdbus::Variant(BusTexts(center.Recipients()))},
      {"OutboxFolder", sdbus::Variant(BusText(OutboxFolderOf(context_.engine.program().dataDirectory())))},
  };
}

void ManagerObject::SetMailSetting(sdbus::Result<>&& result, std::string key, sdbus::Variant value) {
  if (key == "Password") {
    result.returnError(
        sdbus::Error(kErrorInvalidArgument, "the password is stored with SetMailPassword, never as a setting"));
    return;
  }
  std::string text;
  try {
    text = ValueText(value);
  } catch (const sdbus::Error& refusal) {
    result.returnError(refusal);
    return;
  }
  ChangeMail(std::move(result), "changing the mail setting " + key, [this, key, text] {
    return Outcome(
        cli::ChangeMailSetting(context_.mailFolder, context_.ui, context_.engine.program().clock(), key, text));
  });
}

void ManagerObject::SetMailPassword(sdbus::Result<>&& result, std::string password) {
  ChangeMail(std::move(result), "changing the mail password", [this, password] {
    return Outcome(
        cli::ChangeMailPassword(context_.mailFolder, context_.ui, context_.engine.program().clock(), password));
  });
}

void ManagerObject::AddRecipient(sdbus::Result<>&& result, std::string kind, std::string address) {
  if (auto refusal = AlarmKindRefusal(kind)) return result.returnError(*refusal);
  ChangeMail(std::move(result), "adding the recipient " + address, [this, address] {
    return Outcome(
        cli::ChangeRecipient(context_.mailFolder, context_.ui, context_.engine.program().clock(), "add", address));
  });
}

void ManagerObject::RemoveRecipient(sdbus::Result<>&& result, std::string kind, std::string address) {
  if (auto refusal = AlarmKindRefusal(kind)) return result.returnError(*refusal);
  ChangeMail(std::move(result), "removing the recipient " + address, [this, address] {
    return Outcome(
        cli::ChangeRecipient(context_.mailFolder, context_.ui, context_.engine.program().clock(), "remove", address));
  });
}

void ManagerObject::SendTestMail(sdbus::Result<>&& result) {
  auto reply = Keep(std::move(result));
  context_.authority.Check(
      Authority::SenderOf(getObject()), kActionManageMail, "sending the test mail",
      [this, reply](std::optional<sdbus::Error> refusal) {
        if (refusal) return reply->returnError(*refusal);
        // The exchange with the mail server may take its whole time-out: it runs beside the engine
        // and the bus, on settings of its own.
        BusMailbox& bus = context_.bus;
        std::thread([&bus, reply, folder = context_.mailFolder, &clock = context_.engine.program().clock()] {
          Ui quiet;
          StandaloneMail mail(folder, quiet, clock);
          Failure failure;
          if (!mail.Load()) {
            std::string problem;
            for (const auto& message : mail.TakeMessages()) problem += (problem.empty() ? "" : " ") + message;
            if (!mail.center().SettingsKeyExists()) problem = "no mail settings are stored in " + mail.settingsPath();
            failure.message = problem.empty() ? std::string("the mail settings could not be loaded") : problem;
          } else {
            const MailReport report = mail.center().SendTestMail();
            mail.TakeMessages();  // the report says the same
            if (report.outcome != MailOutcome::Sent) failure.message = report.text;
          }
          bus.Post([reply, failure] {
            if (!failure.message.empty()) return reply->returnError(sdbus::Error(failure.name, failure.message));
            reply->returnResults();
          });
        }).detach();
      });
}

void ManagerObject::GetOutbox(sdbus::Result<std::vector<std::map<std::string, sdbus::Variant>>>&& result) {
  auto reply = Keep(std::move(result));
  context_.engine.Post([this, reply] {
    Program& program = context_.engine.program();
    const std::int64_t now = CivilSeconds(program.clock().localTime());
    std::vector<QueuedMail> mails = program.mail().Outbox();
    context_.bus.Post([reply, now, mails = std::move(mails)] {
      std::vector<Dictionary> answer;
      for (const QueuedMail& mail : mails)
        answer.push_back(
            {{"id", sdbus::Variant(mail.id)},
             {"kind", sdbus::Variant(static_cast<uint32_t>(mail.kind))},
             {"caption", sdbus::Variant(OutboxCaption(mail.kind))},
             {"recipients", sdbus::Variant(BusTexts(mail.recipients))},
             {"attempts", sdbus::Variant(static_cast<uint32_t>(mail.attempts))},
             {"last_error", sdbus::Variant(BusText(mail.lastError))},
             {"raised_at", sdbus::Variant(static_cast<int64_t>(mail.raisedAt))},
             {"age_seconds", sdbus::Variant(static_cast<int64_t>(std::max<std::int64_t>(0, now - mail.raisedAt)))}});
      reply->returnResults(answer);
    });
  });
}

void ManagerObject::FlushOutbox(sdbus::Result<std::map<std::string, sdbus::Variant>>&& result) {
  auto reply = Keep(std::move(result));
  context_.authority.Check(
      Authority::SenderOf(getObject()), kActionManageMail, "sending the waiting mails",
      [this, reply](std::optional<sdbus::Error> refusal) {
        if (refusal) return reply->returnError(*refusal);
        context_.engine.Post([this, reply] {
          const FlushReport report = context_.engine.program().mail().FlushOutbox();
          context_.bus.Post([reply, report] {
            const auto count = [](std::size_t n) { return sdbus::Variant(static_cast<uint32_t>(n)); };
            reply->returnResults(Dictionary{{"tried", count(report.tried)},
                                            {"sent", count(report.sent)},
                                            {"refused", count(report.refused)},
                                            {"given_up", count(report.givenUp)},
                                            {"settled_elsewhere", count(report.settledElsewhere)}});
          });
        });
      });
}

}  // namespace rur::service
