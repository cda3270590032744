// rurctl mail-test: the E-mail page's test button: one mail with the stored settings to the
// sender's own address, and what became of it.

#include "cli/command_table.h"
#include "notify/standalone_mail.h"

namespace rur::cli {

class MailCommandUi;
std::string MailSettingsDirectory(CliEnvironment& env);

int RunMailTest(CommandContext& context) {
  if (!context.args.empty()) {
    context.err << "mail-test: takes no arguments\n";
    return kExitUsage;
  }
  return RunMailTestWithStoredSettings(context);
}

}  // namespace rur::cli
