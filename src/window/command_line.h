// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop program's command line: with no option it works on the host's disks;
// --simulate[=FILE] attaches simulated enclosures (a scenario file or a bundled scenario's name),
// --sim-state DIR keeps their state between runs and --data-dir DIR holds the program's files.

#include <string>
#include <vector>

#include "app/program.h"

namespace rur::ui {

struct CommandLine {
  ProgramOptions options;
  bool help = false;
  bool version = false;
  bool debug = false;  // the status bar shows the refresh and mail trace counters
};

// args without the program name; false with a message for an unknown or incomplete option.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error);
std::string CommandLineHelp();
// "rode-rur v..." for --version.
std::string VersionLine();

}  // namespace rur::ui
