// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl's commands. Each lives in its own file, command_<name>.cpp, and is listed once in the
// table of command_table.cpp; --help is built from that table.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_environment.h"

namespace rur::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the command ran and the device or the check said no
constexpr int kExitUsage = 2;   // bad arguments, or the run could not start

struct CommandContext {
  CliEnvironment& env;
  const std::vector<std::string>& args;  // the words after the command's name
  std::ostream& out;
  std::ostream& err;
};

using CommandFunction = int (*)(CommandContext&);

struct Command {
  std::string_view name;
  std::string_view usage;    // the arguments, e.g. "CODE [--drive N]"
  std::string_view summary;  // one line for --help
  CommandFunction run;
};

const std::vector<Command>& Commands();
const Command* FindCommand(std::string_view name);

// The commands, one file each.
int RunQuery(CommandContext& context);
int RunDetect(CommandContext& context);
int RunStatus(CommandContext& context);
int RunMonitor(CommandContext& context);
int RunLog(CommandContext& context);
int RunSmart(CommandContext& context);
int RunDumpSmart(CommandContext& context);
int RunFirmware(CommandContext& context);
int RunFirmwareBackup(CommandContext& context);
int RunMailSettings(CommandContext& context);
int RunMailTest(CommandContext& context);
int RunMailQueue(CommandContext& context);
int RunUdevRule(CommandContext& context);

}  // namespace rur::cli
