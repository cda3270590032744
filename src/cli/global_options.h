// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options every rurctl command understands (command_line.cpp reads them). They may stand
// before or after the command name, so no command may give one of its own options the same name.

#include <string>

namespace rur::cli {

struct GlobalOptions {
  bool simulate = false;
  std::string scenario;      // --simulate=FILE: a path or a bundled scenario's name; empty: the demo
  std::string simState;      // --sim-state DIR
  std::string dataDir;       // --data-dir DIR
  bool virtualTime = false;  // --virtual-time
  std::string trace;         // --trace FILE
  bool verbose = false;      // --verbose: what is being done, to which device, on stderr
  bool debug = false;        // --debug: --verbose and the engine's raw status-bar traces
  bool quiet = false;        // -q, --quiet: errors only
  bool allDisks = false;     // --all-disks: look for enclosures on every disk, not only USB disks
  bool direct = false;       // --direct: reach the enclosures in-process even where rode-rurd serves them
  // Set by rurctl, not an option: rode-rurd serves this host, so an in-process run is its guest and
  // leaves the day log and the alarm mails to the service.
  bool serviceRuns = false;
};

// The option lines of rurctl --help.
std::string GlobalOptionsHelp();

}  // namespace rur::cli
