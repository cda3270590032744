// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl mail-settings: the stored mail settings as the program loads them, the password masked,
// with the recipients and the subject and text of each alarm kind.

#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/json_text.h"
#include "notify/mail_message.h"
#include "notify/standalone_mail.h"

namespace rur::cli {
namespace {

// The stored values under their names in the settings file (the keys mail-set takes), the
// password only as whether one is set.
nlohmann::json MailSettingsJson(StandaloneMail& mail) {
  const MailCenter& center = mail.center();
  const auto& settings = center.MailSettings();
  nlohmann::json values{
      {std::string(kValuePort), settings[kSettingPort]},
      {std::string(kValueHost), settings[kSettingHost]},
      {std::string(kValueSenderName), settings[kSettingSenderName]},
      {std::string(kValueSenderAddress), settings[kSettingSenderAddress]},
      {std::string(kValueTimeOut), settings[kSettingTimeOut]},
      {std::string(kValueAccount), settings[kSettingAccount]},
      {std::string(kLoginSwitch), center.AuthState() == kAuthLogin},
      {"Password", settings[kSettingPassword].empty() ? "" : "********"},
      {std::string(kValueSuppressMask), center.MailSuppressMask},
      {std::string(kValueMailFolder), center.MailFolder()},
      {std::string(kValueAllowPlainLogin), center.AllowPlainLogin() ? 1 : 0},
      {std::string(kValueCaFile), center.CaFile()},
      {std::string(kValueImplicitTls), center.ImplicitTls()},
      {std::string(kValueFanMinRpm), center.FanMinRpm()},
      {std::string(kValueTempAlarm), center.TempAlarm()},
  };
  nlohmann::json kinds = nlohmann::json::array();
  for (int kind = 1; kind <= kAlarmKindCount; ++kind) {
    const MailKindTexts& texts = center.MailTexts(kind);
    kinds.push_back({{"kind", kind},
                     {"caption", MailKindCaptions[static_cast<std::size_t>(kind - 1)]},
                     {"mailed", ((center.MailSuppressMask >> (kind - 1)) & 1) == 0},
                     {"subject", texts.subject.empty() ? std::string() : texts.subject.front()},
                     {"text", texts.contents}});
  }
  return {{"settings_file", mail.settingsPath()},
          {"password_decodes", center.AuthState() == kAuthLogin || center.AuthState() == kAuthNone},
          {"values", values},
          {"recipients", center.Recipients()},
          {"kinds", kinds}};
}

}  // namespace

int RunMailSettings(CommandContext& context) {
  const GlobalOptions& options = context.env.options();
  StandaloneMail mail(options.simulate || !options.dataDir.empty() ? context.env.dataDirectory() : std::string(),
                      context.env.ui(), context.env.clock());
  const bool loaded = mail.Load();
  std::string problems;
  for (const auto& message : mail.TakeMessages()) problems += (problems.empty() ? "" : " ") + message;
  if (!loaded) {
    if (!mail.center().SettingsKeyExists())
      problems += (problems.empty() ? "" : " ") + std::string("no mail settings are stored in ") + mail.settingsPath();
    return Fail(context, "mail-settings", problems);
  }
  if (!problems.empty()) context.err << "mail-settings: " << problems << '\n';
  if (context.options.json) {
    context.out << JsonText(MailSettingsJson(mail), 2) << '\n';
    return kExitOk;
  }

  const MailCenter& center = mail.center();
  const auto& settings = center.MailSettings();
  const unsigned seconds = DeliveryTimeoutSeconds(settings[kSettingTimeOut]);
  auto& out = context.out;
  out << "settings file  " << mail.settingsPath() << '\n'
      << "SMTP server    " << settings[kSettingHost] << '\n'
      << "port           " << settings[kSettingPort] << '\n'
      << "sender         " << FormatMailbox(settings[kSettingSenderName], settings[kSettingSenderAddress]) << '\n'
      << "time-out       \"" << settings[kSettingTimeOut] << "\": a delivery waits " << seconds
      << " s at most for the connection and as long for the transfer\n";
  const std::string password = settings[kSettingPassword].empty() ? "(empty)" : "********";
  switch (center.AuthState()) {
    case kAuthLogin:
      out << "login          AUTH LOGIN as \"" << settings[kSettingAccount] << "\", password " << password << '\n';
      break;
    case kAuthNone:
      out << "login          off (account \"" << settings[kSettingAccount] << "\", password " << password << ")\n";
      break;
    default: out << "login          off: the stored password block does not decode; save the settings again\n"; break;
  }
  out << "text folder    " << center.MailFolder() << '\n' << "recipients     " << center.Recipients().size() << '\n';
  for (std::size_t n = 0; n < center.Recipients().size(); ++n)
    out << "  " << RecipientValueName(n) << "  " << center.Recipients()[n] << '\n';
  for (int kind = 1; kind <= kAlarmKindCount; ++kind) {
    const MailKindTexts& texts = center.MailTexts(kind);
    const bool suppressed = ((center.MailSuppressMask >> (kind - 1)) & 1) != 0;
    out << "kind " << kind << " " << MailKindCaptions[static_cast<std::size_t>(kind - 1)]
        << (suppressed ? " (no mail)" : "") << ": subject \""
        << (texts.subject.empty() ? std::string() : texts.subject.front()) << "\", " << texts.contents.size()
        << " text line" << (texts.contents.size() == 1 ? "" : "s") << '\n';
  }
  return kExitOk;
}

}  // namespace rur::cli
