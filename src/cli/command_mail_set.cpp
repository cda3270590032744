// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl mail-set KEY VALUE and rurctl mail-recipients add|remove ADDRESS: the E-mail page without
// the window, for a server with no desktop. The password comes from standard input only, never
// from the command line, where other users could see it.

#include "cli/command_failure.h"
#include "cli/mail_changes.h"

namespace rur::cli {
namespace {

std::string SettingsFolderOf(CommandContext& context) {
  const GlobalOptions& options = context.env.options();
  return options.simulate || !options.dataDir.empty() ? context.env.dataDirectory() : std::string();
}

int Report(CommandContext& context, std::string_view command, const MailChange& change) {
  if (change.status != kExitOk) return Fail(context, command, change.text, change.status);
  context.out << change.text;
  return kExitOk;
}

}  // namespace

int RunMailSet(CommandContext& context) {
  const std::string& key = context.options.words[0];
  const std::string& value = context.options.words[1];
  Ui& ui = context.env.ui();
  Clock& clock = context.env.clock();
  if (key == "Password" && value == "-") {
    std::string password, error;
    if (!ReadPassword(password, error)) return Fail(context, "mail-set", error, kExitUsage);
    return Report(context, "mail-set", ChangeMailPassword(SettingsFolderOf(context), ui, clock, password));
  }
  return Report(context, "mail-set", ChangeMailSetting(SettingsFolderOf(context), ui, clock, key, value));
}

int RunMailRecipients(CommandContext& context) {
  return Report(context, "mail-recipients",
                ChangeRecipient(SettingsFolderOf(context), context.env.ui(), context.env.clock(),
                                context.options.words[0], context.options.words[1]));
}

}  // namespace rur::cli
