// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/global_options.h"

namespace rur::cli {
namespace {

// "--name VALUE" or "--name=VALUE"; true when args[i] is this option (i then points at its last word).
bool TakeValue(std::vector<std::string>& args, std::size_t& i, const std::string& name, std::string& value,
               bool& present, std::string& error) {
  const std::string& word = args[i];
  if (word == name) {
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      error = name + " needs a value";
      return true;
    }
    value = args[i + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    present = true;
    return true;
  }
  if (word.rfind(name + "=", 0) == 0) {
    value = word.substr(name.size() + 1);
    if (value.empty()) error = name + " needs a value";
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
    present = true;
    return true;
  }
  return false;
}

}  // namespace

bool ParseGlobalOptions(std::vector<std::string>& args, GlobalOptions& out, std::string& error) {
  std::size_t i = 0;
  while (i < args.size()) {
    const std::string word = args[i];
    if (word == "--") break;  // everything after belongs to the command
    bool present = false;
    if (word == "--simulate") {
      out.simulate = true;
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (word.rfind("--simulate=", 0) == 0) {
      out.simulate = true;
      out.scenario = word.substr(std::string("--simulate=").size());
      if (out.scenario.empty()) {
        error = "--simulate= needs a scenario file";
        return false;
      }
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (TakeValue(args, i, "--sim-state", out.simState, present, error) ||
        TakeValue(args, i, "--data-dir", out.dataDir, present, error) ||
        TakeValue(args, i, "--trace", out.trace, present, error)) {
      if (!error.empty()) return false;
      continue;
    }
    if (word == "--virtual-time" || word == "--verbose" || word == "--all-disks" || word == "--help" || word == "-h" ||
        word == "--version") {
      if (word == "--virtual-time")
        out.virtualTime = true;
      else if (word == "--all-disks")
        out.allDisks = true;
      else if (word == "--verbose")
        out.verbose = true;
      else if (word == "--version")
        out.version = true;
      else
        out.help = true;
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    ++i;
  }
  if (!out.simulate && (!out.simState.empty() || !out.trace.empty())) {
    error = std::string(out.trace.empty() ? "--sim-state" : "--trace") + " works with --simulate only";
    return false;
  }
  return true;
}

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
         "  --verbose           show status-bar texts and messages on stderr\n"
         "  -h, --help          show this help\n"
         "  --version           show the version\n";
}

}  // namespace rur::cli
