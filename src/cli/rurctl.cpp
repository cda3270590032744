// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/rurctl.h"

#include <algorithm>

#include "cli/command_line.h"
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
  text += "\noptions:\n" + GlobalOptionsHelp() + "\n" + ExitStatusHelp();
  return text;
}

int RunRurctl(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  CommandLine line;
  std::string text;
  switch (ParseCommandLine(args, line, text)) {
    case CommandLineOutcome::ShowText: out << text; return kExitOk;
    case CommandLineOutcome::UsageError: err << text; return kExitUsage;
    case CommandLineOutcome::Run: break;
  }
  // Errors only: what the command prints as its result is dropped, its errors stay.
  std::ostream silent(nullptr);
  // Bytes asked for on standard output (firmware-backup -) are data, not talk: they stay.
  const bool dataOnOutput = line.command->name == "firmware-backup";
  std::ostream& output = line.global.quiet && !dataOnOutput ? silent : out;

  std::string error;
  auto env = CliEnvironment::Create(line.global, error);
  if (!env) {
    err << "rurctl: " << error << '\n';
    return kExitUsage;
  }
  CommandContext context{*env, line.options, output, err};
  int status = line.command->run(context);
  if (!env->Finish(error)) {
    err << "rurctl: " << error << '\n';
    if (status == kExitOk) status = kExitFailed;
  }
  return status;
}

}  // namespace rur::cli
