#include "app/ui/command_line.h"

#include <filesystem>

#include "emulator/scenario.h"

namespace rur::ui {
namespace {

// An existing file as it is; a bare name ("striping") for a bundled scenario.
std::string ScenarioPath(const std::string& value) {
  std::error_code ignored;
  if (std::filesystem::is_regular_file(value, ignored)) return value;
  const std::filesystem::path path(value);
  if (!path.has_parent_path() && path.extension() != ".json") return sim::BundledScenarioPath(value);
  return value;
}

// "--name VALUE" or "--name=VALUE" at args[i]; i is left on the option's last word.
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name, std::string& value,
               std::string& error) {
  const std::string& word = args[i];
  if (word == name) {
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      error = name + " needs a value";
    } else {
      value = args[++i];
    }
    return true;
  }
  if (word.rfind(name + "=", 0) == 0) {
    value = word.substr(name.size() + 1);
    if (value.empty()) error = name + " needs a value";
    return true;
  }
  return false;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--simulate") {
      out.options.simulate = true;
    } else if (word.rfind("--simulate=", 0) == 0) {
      out.options.simulate = true;
      const std::string value = word.substr(std::string("--simulate=").size());
      if (value.empty()) {
        error = "--simulate= needs a scenario file";
        return false;
      }
      out.options.scenarioPath = ScenarioPath(value);
    } else if (word == "--all-disks") {
      out.options.allDisks = true;
    } else if (word == "--help" || word == "-h") {
      out.help = true;
    } else if (TakeValue(args, i, "--data-dir", out.options.dataDir, error) ||
               TakeValue(args, i, "--sim-state", out.options.simStateDir, error)) {
      if (!error.empty()) return false;
    } else if (word.rfind('-', 0) == 0) {
      error = "unknown option " + word;
      return false;
    } else {
      // Session managers and desktop files may pass their own words; they are not ours to judge.
      continue;
    }
  }
  if (!out.options.simulate && !out.options.simStateDir.empty()) {
    error = "--sim-state works with --simulate only";
    return false;
  }
  return true;
}

std::string CommandLineHelp() {
  return "Usage: rode-rur [options]\n"
         "  --simulate[=FILE]   work on simulated enclosures: the scenario FILE, or a bundled scenario by\n"
         "                      name (demo, striping, jbod, bypass, port-multiplier, two-enclosures,\n"
         "                      faults); without FILE the demo\n"
         "  --sim-state DIR     keep the simulated enclosures' state in DIR between runs\n"
         "  --data-dir DIR      keep the program's files (logs, dumps, settings) in DIR\n"
         "  --all-disks         look for enclosures on every disk, not only on USB disks (also the\n"
         "                      setting ProbeAllDisks = 1)\n"
         "  -h, --help          show this help\n"
         "Without --simulate the program works on the host's disks.\n";
}

}  // namespace rur::ui
