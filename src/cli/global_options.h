// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options every rurctl command understands. They may stand before or after the command name,
// so no command may give one of its own options the same name.

#include <string>
#include <vector>

namespace rur::cli {

struct GlobalOptions {
  bool simulate = false;
  std::string scenario;      // --simulate=FILE: a path or a bundled scenario's name; empty: the demo
  std::string simState;      // --sim-state DIR
  std::string dataDir;       // --data-dir DIR
  bool virtualTime = false;  // --virtual-time
  std::string trace;         // --trace FILE
  bool verbose = false;      // --verbose: show status-bar texts and messages on stderr
  bool allDisks = false;     // --all-disks: look for enclosures on every disk, not only USB disks
  bool help = false;         // --help or -h
  bool version = false;      // --version
};

// Removes the global options from args and fills out; args keeps the command and its arguments.
bool ParseGlobalOptions(std::vector<std::string>& args, GlobalOptions& out, std::string& error);

// The option lines of rurctl --help.
std::string GlobalOptionsHelp();

}  // namespace rur::cli
