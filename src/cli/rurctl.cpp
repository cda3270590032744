// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/rurctl.h"

#include <algorithm>

#include "cli/command_table.h"
#include "cli/global_options.h"
#include "platform/branding.h"

namespace rur::cli {

std::string Usage() {
  std::string text = "rurctl " + std::string(VersionText) +
                     ": the RODE RUR enclosure tool for scripts and servers\n\n"
                     "usage: rurctl [OPTIONS] COMMAND [ARGUMENTS]\n\ncommands:\n";
  std::size_t width = 0;
  for (const Command& command : Commands()) width = std::max(width, command.name.size() + command.usage.size() + 1);
  for (const Command& command : Commands()) {
    std::string head = std::string(command.name) + " " + std::string(command.usage);
    head.resize(std::max(width, head.size()), ' ');
    text += "  " + head + "  " + std::string(command.summary) + "\n";
  }
  text += "\noptions:\n" + GlobalOptionsHelp() +
          "\nexit status: 0 done, 1 the command failed, 2 bad arguments or the run could not start\n";
  return text;
}

int RunRurctl(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  GlobalOptions options;
  std::string error;
  if (!ParseGlobalOptions(args, options, error)) {
    err << "rurctl: " << error << "\nTry rurctl --help.\n";
    return kExitUsage;
  }
  if (options.help) {
    out << Usage();
    return kExitOk;
  }
  if (options.version) {
    out << "rurctl " << VersionText << '\n';
    return kExitOk;
  }
  if (args.empty()) {
    err << Usage();
    return kExitUsage;
  }
  const Command* command = FindCommand(args.front());
  if (command == nullptr) {
    err << "rurctl: unknown command " << args.front();
    if (args.front().size() > 5 && args.front().ends_with(".json")) err << " (a scenario goes as --simulate=FILE)";
    err << "\nTry rurctl --help.\n";
    return kExitUsage;
  }
  const std::vector<std::string> commandArgs(args.begin() + 1, args.end());

  auto env = CliEnvironment::Create(options, error);
  if (!env) {
    err << "rurctl: " << error << '\n';
    return kExitUsage;
  }
  CommandContext context{*env, commandArgs, out, err};
  int status = command->run(context);
  if (!env->Finish(error)) {
    err << "rurctl: " << error << '\n';
    if (status == kExitOk) status = kExitFailed;
  }
  return status;
}

}  // namespace rur::cli
