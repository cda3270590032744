// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/global_options.h"

namespace rur::cli {

std::string GlobalOptionsHelp() {
  return "  --simulate[=FILE]   work on simulated enclosures: the scenario FILE, or a bundled scenario by\n"
         "                      name (demo, striping, jbod, bypass, port-multiplier, two-enclosures,\n"
         "                      faults); without FILE the demo\n"
         "  --sim-state DIR     keep the simulated enclosures' state (flash, members, rebuild) in DIR:\n"
         "                      loaded at start, saved at the end and whenever a flash changes\n"
         "  --data-dir DIR      keep the program's files (logs, dumps, settings) in DIR\n"
         "  --virtual-time      run on a virtual clock: waits cost nothing and runs repeat exactly\n"
         "  --trace FILE        append one line per request a simulated drive receives:\n"
         "                      \"<drive> READ <lba>\" or \"<drive> INQUIRY\"\n"
         "  --all-disks         look for enclosures on every disk, not only on USB disks (a command's\n"
         "                      --drive reaches its drive whatever the bus)\n"
         "  --direct            reach the enclosures in-process even where the service rode-rurd\n"
         "                      serves them (which still keeps the day log and mails the alarms)\n"
         "  --verbose           tell on stderr what is being done, to which device\n"
         "  --debug             --verbose, and the engine's raw traces (status-bar panel codes)\n"
         "  -q, --quiet         print errors only\n"
         "  -h, --help          show this help; rurctl help COMMAND or COMMAND --help for one command\n"
         "  -V, --version       show the version\n";
}

}  // namespace rur::cli
