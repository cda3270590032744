// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl mail-test: what the E-mail page's test button does: one mail with the stored settings
// to the sender's own address, and what became of it.

#include "cli/command_table.h"
#include "notify/standalone_mail.h"

namespace rur::cli {

int RunMailTest(CommandContext& context) {
  const GlobalOptions& options = context.env.options();
  StandaloneMail mail(options.simulate || !options.dataDir.empty() ? context.env.dataDirectory() : std::string(),
                      context.env.ui(), context.env.clock());
  const bool loaded = mail.Load();
  for (const auto& message : mail.TakeMessages()) context.err << "mail-test: " << message << '\n';
  if (!loaded) {
    if (!mail.center().SettingsKeyExists())
      context.err << "mail-test: no mail settings are stored in " << mail.settingsPath() << '\n';
    return kExitFailed;
  }

  const MailReport report = mail.center().SendTestMail();
  mail.TakeMessages();  // the report says the same
  if (report.outcome != MailOutcome::Sent) {
    context.err << "mail-test: " << report.text << '\n';
    return kExitFailed;
  }
  context.out << report.text << " (to";
  for (const auto& recipient : report.recipients) context.out << ' ' << recipient;
  context.out << ")\n";
  return kExitOk;
}

}  // namespace rur::cli
