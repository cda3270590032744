// SPDX-License-Identifier: GPL-3.0-or-later
// The Manager's mail methods: the E-mail page for clients of the service. Changes go through the
// same page model and save as rurctl's mail commands and are then loaded into the service's own
// mail centre, which sends the alarm mails. Reading is open; changing needs manage-mail.

#include <algorithm>

#include "cli/command_table.h"
#include "cli/mail_changes.h"
#include "notify/mail_outbox.h"
#include "notify/standalone_mail.h"
#include "service/authorization.h"
#include "service/manager_object.h"
#include "service/service_errors.h"

namespace rur::service {
namespace {

using Dictionary = std::map<std::string, sdbus::Variant>;

// A change's outcome as the service answers it: a value that is not taken is the caller's to
// correct, anything else failed here.
void RequireChanged(const cli::MailChange& change) {
  if (change.status == cli::kExitOk) return;
  throw sdbus::Error(change.status == cli::kExitUsage ? kErrorInvalidArgument : kErrorFailed, change.text);
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

void RequireAlarmKind(const std::string& kind) {
  // Every alarm kind mails the one list of recipients.
  if (kind != "alarm" && !kind.empty())
    throw sdbus::Error(kErrorInvalidArgument, "the recipients' kind is \"alarm\", not \"" + kind + "\"");
}

// The alarm kind in words, as rurctl mail-queue shows it.
std::string OutboxCaption(int kind) {
  return kind >= 1 && kind <= kAlarmKindCount ? std::string(MailKindCaptions[static_cast<std::size_t>(kind - 1)])
                                              : "kind " + std::to_string(kind);
}

}  // namespace

void ManagerObject::MailChanged() {
  // As after a change on the E-mail page: the service's centre loads what was stored.
  program_.mail().StartUp();
  program_.mail().LoadMailSettings();
}

std::map<std::string, sdbus::Variant> ManagerObject::GetMailSettings() {
  // Without stored settings the defaults are shown, as the E-mail page shows them, so a client can
  // read the outbox's folder and set the first values.
  StandaloneMail mail(mailFolder_, ui_, program_.clock());
  mail.Load();
  mail.TakeMessages();
  const MailCenter& center = mail.center();
  const auto& settings = center.MailSettings();
  // Nothing loaded: every stored value reads empty.
  const auto setting = [&settings](std::size_t index) {
    return index < settings.size() ? std::string(settings[index]) : std::string();
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
      {std::string(kValueMailFolder), sdbus::Variant(center.MailFolder())},
      {std::string(kValueAllowPlainLogin), sdbus::Variant(center.AllowPlainLogin())},
      {std::string(kValueCaFile), sdbus::Variant(center.CaFile())},
      {std::string(kValueImplicitTls), sdbus::Variant(center.ImplicitTls())},
      {std::string(kValueFanMinRpm), sdbus::Variant(center.FanMinRpm())},
      {std::string(kValueTempAlarm), sdbus::Variant(center.TempAlarm())},
      {"SettingsFile", sdbus::Variant(mail.settingsPath())},
      {"Stored", sdbus::Variant(mail.center().SettingsKeyExists())},
      {"PasswordSet", sdbus::Variant(!setting(kSettingPassword).empty())},
      {"PasswordDecodes", sdbus::Variant(center.AuthState() == kAuthLogin || center.AuthState() == kAuthNone)},
      {"Recipients", sdbus::Variant(center.Recipients())},
      {"OutboxFolder", sdbus::Variant(OutboxFolderOf(program_.dataDirectory()))},
  };
}

void ManagerObject::SetMailSetting(const std::string& key, const sdbus::Variant& value) {
  RequireAuthorization(getObject(), kActionManageMail, "changing the mail setting " + key);
  if (key == "Password")
    throw sdbus::Error(kErrorInvalidArgument, "the password is stored with SetMailPassword, never as a setting");
  RequireChanged(cli::ChangeMailSetting(mailFolder_, ui_, program_.clock(), key, ValueText(value)));
  MailChanged();
}

void ManagerObject::SetMailPassword(const std::string& password) {
  RequireAuthorization(getObject(), kActionManageMail, "changing the mail password");
  RequireChanged(cli::ChangeMailPassword(mailFolder_, ui_, program_.clock(), password));
  MailChanged();
}

void ManagerObject::AddRecipient(const std::string& kind, const std::string& address) {
  RequireAuthorization(getObject(), kActionManageMail, "adding the recipient " + address);
  RequireAlarmKind(kind);
  RequireChanged(cli::ChangeRecipient(mailFolder_, ui_, program_.clock(), "add", address));
  MailChanged();
}

void ManagerObject::RemoveRecipient(const std::string& kind, const std::string& address) {
  RequireAuthorization(getObject(), kActionManageMail, "removing the recipient " + address);
  RequireAlarmKind(kind);
  RequireChanged(cli::ChangeRecipient(mailFolder_, ui_, program_.clock(), "remove", address));
  MailChanged();
}

void ManagerObject::SendTestMail() {
  RequireAuthorization(getObject(), kActionManageMail, "sending the test mail");
  StandaloneMail mail(mailFolder_, ui_, program_.clock());
  if (!mail.Load()) {
    std::string problem;
    for (const auto& message : mail.TakeMessages()) problem += (problem.empty() ? "" : " ") + message;
    if (!mail.center().SettingsKeyExists()) problem = "no mail settings are stored in " + mail.settingsPath();
    throw sdbus::Error(kErrorFailed, problem);
  }
  const MailReport report = mail.center().SendTestMail();
  mail.TakeMessages();  // the report says the same
  if (report.outcome != MailOutcome::Sent) throw sdbus::Error(kErrorFailed, report.text);
}

std::vector<std::map<std::string, sdbus::Variant>> ManagerObject::GetOutbox() {
  const std::int64_t now = CivilSeconds(program_.clock().localTime());
  std::vector<Dictionary> mails;
  for (const QueuedMail& mail : program_.mail().Outbox())
    mails.push_back(
        {{"id", sdbus::Variant(mail.id)},
         {"kind", sdbus::Variant(static_cast<uint32_t>(mail.kind))},
         {"caption", sdbus::Variant(OutboxCaption(mail.kind))},
         {"recipients", sdbus::Variant(mail.recipients)},
         {"attempts", sdbus::Variant(static_cast<uint32_t>(mail.attempts))},
         {"last_error", sdbus::Variant(mail.lastError)},
         {"raised_at", sdbus::Variant(static_cast<int64_t>(mail.raisedAt))},
         {"age_seconds", sdbus::Variant(static_cast<int64_t>(std::max<std::int64_t>(0, now - mail.raisedAt)))}});
  return mails;
}

std::map<std::string, sdbus::Variant> ManagerObject::FlushOutbox() {
  RequireAuthorization(getObject(), kActionManageMail, "sending the waiting mails");
  const FlushReport report = program_.mail().FlushOutbox();
  const auto count = [](std::size_t n) { return sdbus::Variant(static_cast<uint32_t>(n)); };
  return Dictionary{{"tried", count(report.tried)},
                    {"sent", count(report.sent)},
                    {"refused", count(report.refused)},
                    {"given_up", count(report.givenUp)},
                    {"settled_elsewhere", count(report.settledElsewhere)}};
}

}  // namespace rur::service
