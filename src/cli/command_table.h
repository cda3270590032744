// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl's commands. Each lives in its own file, command_<name>.cpp, and is listed once in the
// table of command_table.cpp; --help is built from that table.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_environment.h"
#include "cli/command_options.h"

namespace rur::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the command ran and the device or the check said no
constexpr int kExitUsage = 2;   // bad arguments, or the run could not start
// Added to a status that worked, for status and smart: what a script watching the array needs.
constexpr int kExitDegraded = 4;       // an array runs without its second copy
constexpr int kExitUnavailable = 8;    // an enclosure does not answer, or its array has failed
constexpr int kExitSmartWarning = 16;  // a SMART verdict " Warning "
constexpr int kExitSmartError = 32;    // a SMART verdict " Error "
constexpr int kExitFirmware = 64;      // a flash without valid firmware, or an upgrade under way or cut off

struct CommandContext {
  CliEnvironment& env;
  const CommandOptions& options;  // the command's own options and words, checked
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
// status as a client of rode-rurd: the same report, from the service's enclosure objects.
int RunStatusThroughService(const CommandOptions& options, std::ostream& out, std::ostream& err);
// firmware-backup as a client of rode-rurd (without --drive).
int RunFirmwareBackupThroughService(const CommandOptions& options, std::ostream& out, std::ostream& err);
int RunMonitor(CommandContext& context);
int RunLog(CommandContext& context);
int RunSmart(CommandContext& context);
int RunDumpSmart(CommandContext& context);
int RunFirmware(CommandContext& context);
int RunFirmwareBackup(CommandContext& context);
int RunMailSettings(CommandContext& context);
int RunMailTest(CommandContext& context);
int RunMailQueue(CommandContext& context);
int RunMailSet(CommandContext& context);
int RunMailRecipients(CommandContext& context);
int RunUdevRule(CommandContext& context);

}  // namespace rur::cli
