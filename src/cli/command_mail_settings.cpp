// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl mail-settings: the stored mail settings as the program loads them, the password masked,
// with the recipients and the subject and text of each alarm kind.

#include "cli/command_table.h"
#include "notify/mail_message.h"
#include "notify/standalone_mail.h"

namespace rur::cli {

int RunMailSettings(CommandContext& context) {
  if (!context.args.empty()) {
    context.err << "mail-settings: takes no arguments\n";
    return kExitUsage;
  }
  const GlobalOptions& options = context.env.options();
  StandaloneMail mail(options.simulate || !options.dataDir.empty() ? context.env.dataDirectory() : std::string(),
                      context.env.ui(), context.env.clock());
  const bool loaded = mail.Load();
  for (const auto& message : mail.TakeMessages()) context.err << "mail-settings: " << message << '\n';
  if (!loaded) {
    if (!mail.center().SettingsKeyExists())
      context.err << "mail-settings: no mail settings are stored in " << mail.settingsPath() << '\n';
    return kExitFailed;
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
