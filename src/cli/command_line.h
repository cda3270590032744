// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl's command line: the global options, the command and its own options, read by one parser
// that checks values, ranges and conflicts before anything starts. Global options may stand before
// or after the command's name.

#include <string>
#include <vector>

#include "cli/command_options.h"
#include "cli/command_table.h"
#include "cli/global_options.h"

namespace rur::cli {

struct CommandLine {
  GlobalOptions global;
  const Command* command = nullptr;
  CommandOptions options;
};

enum class CommandLineOutcome {
  Run,         // line.command is set
  ShowText,    // help or version: print `text` to standard output, exit 0
  UsageError,  // print `text` to standard error, exit 2
};

CommandLineOutcome ParseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& text);

// The exit statuses, for the help texts.
std::string ExitStatusHelp();
// The long options of a command ("--json", ...), or with an empty name the global ones; the
// manual and the shell completion are checked against them.
std::vector<std::string> LongOptionNames(const std::string& name);
// The help of one command (rurctl help CMD, rurctl CMD --help); empty for an unknown name.
std::string CommandHelp(const std::string& name);

}  // namespace rur::cli
