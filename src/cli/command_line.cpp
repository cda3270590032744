// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <map>

#include "cli/command_arguments.h"
#include "cli/metrics_option.h"
#include "cli/rurctl.h"
#include "discovery/device_table.h"
#include "firmware/spi_flash.h"
#include "platform/branding.h"

namespace rur::cli {
namespace {

constexpr std::uint64_t kLongestWatchSeconds = 365ull * 24 * 3600;

// A whole number (decimal or 0x-hexadecimal) from `low` to `high`, with the message a user reads.
CLI::Validator NumberIn(std::uint64_t low, std::uint64_t high, std::string message) {
  return CLI::Validator(
      [low, high, message](std::string& text) -> std::string {
        std::uint64_t value = 0;
        if (!ParseNumber(text, high, value) || value < low) return message;
        return {};
      },
      "");
}

template <typename Number>
void AddNumber(CLI::App& command, const std::string& name, Number& target, std::uint64_t low, std::uint64_t high,
               const std::string& message, const std::string& help) {
  command
      .add_option_function<std::string>(
          name,
          [&target](const std::string& text) {
            std::uint64_t value = 0;
            ParseNumber(text, UINT64_MAX, value);
            target = static_cast<Number>(value);
          },
          help)
      ->check(NumberIn(low, high, message))
      ->type_name(name == "--bay" ? "1|2" : "N");
}

void AddDeviceChoice(CLI::App& command, CommandOptions& options) {
  AddNumber(command, "--device", options.device, 1, kMaxDevices,
            "takes a device number from 1 to " + std::to_string(kMaxDevices),
            "the enclosure by its place in the device list, numbered from 1 (default 1)");
  CLI::Option* drive = command.add_option("--drive", options.drive,
                                          "the enclosure by its physical drive number, which does not shift when "
                                          "another enclosure goes missing");
  drive->type_name("D");
  command.get_option("--device")->excludes(drive);
}

void AddJson(CLI::App& command, CommandOptions& options) {
  command.add_flag("--json", options.json, "print JSON instead of text");
}

// Each command's own options and words; a new option of a command goes into its function here.
using DefineOptions = std::function<void(CLI::App&, CommandOptions&)>;

const std::map<std::string, DefineOptions, std::less<>>& OptionDefinitions() {
  static const std::map<std::string, DefineOptions, std::less<>> definitions{
      {"query",
       [](CLI::App& c, CommandOptions& o) {
         c.add_option("CODE", o.words, "the status query in hexadecimal: 10, 11, 15 or 17")->required()->expected(1);
         c.add_option("--drive", o.drive, "the physical drive to ask (default 0)")->type_name("D");
       }},
      {"detect", [](CLI::App& c, CommandOptions& o) { AddJson(c, o); }},
      {"status", [](CLI::App& c, CommandOptions& o) { AddJson(c, o); }},
      {"monitor",
       [](CLI::App& c, CommandOptions& o) {
         c.add_option_function<std::string>(
              "--for",
              [&o](const std::string& text) {
                std::uint64_t seconds = 0;
                ParseNumber(text, kLongestWatchSeconds, seconds);
                o.forSeconds = seconds;
              },
              "stop after SECONDS (needed on virtual time)")
             ->check(NumberIn(0, kLongestWatchSeconds, "takes a number of seconds, at most a year"))
             ->type_name("SECONDS");
         c.add_flag("--json", o.json,
                    "print one JSON object per line for every log line and alarm; everything else goes to stderr");
         c.add_option("--exec", o.exec,
                      "run PROG for every event but rebuild progress, with RUR_EVENT, RUR_DEVICE, RUR_DRIVE, "
                      "RUR_PATH, RUR_BAY, RUR_TEXT and RUR_TIME set (repeatable)")
             ->type_name("PROG")
             ->take_last()
             ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
         c.add_option_function<std::string>(
              kTextfileDirOption, [&o](const std::string& folder) { o.textfileDir = folder; },
              "write the Prometheus metrics file rode_rur.prom into DIR after every refresh (node_exporter's "
              "textfile collector; default: the folder the settings name)")
             ->type_name("DIR");
       }},
      {"log",
       [](CLI::App& c, CommandOptions& o) {
         c.add_option("FILE", o.words, "a log file (default: today's log of the data folder)")->expected(0, 1);
         AddJson(c, o);
       }},
      {"smart",
       [](CLI::App& c, CommandOptions& o) {
         AddDeviceChoice(c, o);
         AddNumber(c, "--bay", o.bay, 1, 2, "takes 1 (HDD1) or 2 (HDD2)", "the bay whose disk to show (default 1)");
         AddJson(c, o);
       }},
      {"dump-smart", [](CLI::App&, CommandOptions&) {}},
      {"firmware",
       [](CLI::App& c, CommandOptions& o) {
         c.add_option("FILE", o.words, "the firmware image")->required()->expected(1);
         AddDeviceChoice(c, o);
         CLI::Option* yes = c.add_flag("--yes", o.yes, "upgrade without asking (needed without a terminal)");
         CLI::Option* dry = c.add_flag("--dry-run", o.dryRun, "only check, and tell what would be erased and written");
         yes->excludes(dry);
         c.add_flag("--force", o.force,
                    "write an image much shorter than the firmware it replaces, or another image than an "
                    "interrupted upgrade was writing")
             ->excludes(dry);
         AddJson(c, o);
       }},
      {"firmware-backup",
       [](CLI::App& c, CommandOptions& o) {
         c.add_option("FILE", o.words, "the file to write, or - for standard output")->required()->expected(1);
         AddDeviceChoice(c, o);
         AddNumber(c, "--length", o.length, 1, kSpiReachableBytes,
                   "takes a byte count from 1 to " + std::to_string(kSpiReachableBytes),
                   "how many bytes to read (default 1 MiB)");
       }},
      {"mail-settings", [](CLI::App& c, CommandOptions& o) { AddJson(c, o); }},
      {"mail-set",
       [](CLI::App& c, CommandOptions& o) {
         c.add_option("KEY VALUE", o.words, "the setting's name and its new value; Password takes - (standard input)")
             ->required()
             ->expected(2);
       }},
      {"mail-recipients",
       [](CLI::App& c, CommandOptions& o) {
         c.add_option("add|remove ADDRESS", o.words, "add or remove one recipient of the alarm mails")
             ->required()
             ->expected(2);
       }},
      {"mail-test", [](CLI::App&, CommandOptions&) {}},
      {"udev-rule",
       [](CLI::App& c, CommandOptions& o) {
         c.add_option("--group", o.group, "the group given read access (default rode-rur)")->type_name("NAME");
       }},
      {"mail-queue",
       [](CLI::App& c, CommandOptions& o) {
         c.add_flag("--flush", o.flush, "try every waiting mail now");
         AddJson(c, o);
       }},
  };
  return definitions;
}

// The global options, which every command understands too.
void AddGlobalOptions(CLI::App& app, GlobalOptions& global) {
  app.add_flag("--simulate{}", global.scenario, "work on simulated enclosures (FILE: a scenario or a bundled name)");
  app.add_option("--sim-state", global.simState, "keep the simulated enclosures' state in DIR")->type_name("DIR");
  app.add_option("--data-dir", global.dataDir, "keep the program's files in DIR")->type_name("DIR");
  app.add_flag("--virtual-time", global.virtualTime, "run on a virtual clock");
  app.add_flag("--all-disks", global.allDisks, "look for enclosures on every disk, not only on USB disks");
  app.add_flag("--direct", global.direct, "reach the enclosures in-process even where rode-rurd serves them");
  app.add_option("--trace", global.trace, "append one line per request a simulated drive receives")->type_name("FILE");
  app.add_flag("--verbose", global.verbose, "tell on stderr what is being done, to which device");
  app.add_flag("--debug", global.debug, "--verbose, with the engine's raw traces");
  app.add_flag("-q,--quiet", global.quiet, "print errors only");
}

bool TakesValue(const std::string& word) { return word == "--sim-state" || word == "--data-dir" || word == "--trace"; }

// The command's name: the first word that is no option and no global option's value.
std::string CommandWord(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--") break;
    if (TakesValue(word)) {
      ++i;
      continue;
    }
    if (!word.empty() && word[0] == '-') continue;
    return word;
  }
  return {};
}

bool Asks(const std::vector<std::string>& args, std::initializer_list<const char*> names) {
  for (const std::string& word : args) {
    if (word == "--") return false;
    for (const char* name : names)
      if (word == name) return true;
  }
  return false;
}

std::unique_ptr<CLI::App> CommandApp(const Command& command, CommandOptions& options) {
  auto app = std::make_unique<CLI::App>(std::string(command.summary), std::string(command.name));
  app->set_help_flag();
  app->fallthrough();
  const auto& definitions = OptionDefinitions();
  if (const auto found = definitions.find(command.name); found != definitions.end()) found->second(*app, options);
  return app;
}

}  // namespace

std::string ExitStatusHelp() {
  return "exit status: 0 done, 1 the command failed (a device held by another process included), 2 bad arguments\n"
         "or the run could not start. When status or smart worked, health bits are added: 4 an array is\n"
         "degraded, 8 an enclosure does not answer or its array has failed, 16 a SMART verdict Warning,\n"
         "32 a SMART verdict Error (smart only), 64 a flash without valid firmware or a firmware upgrade that\n"
         "did not finish (status only).\n";
}

namespace {

std::string UsageError(const std::string& who, const std::string& message) {
  const std::string tryHelp = who == "rurctl" ? "rurctl --help" : "rurctl " + who + " --help";
  return who + ": " + message + "\nTry " + tryHelp + ".\n";
}

}  // namespace

std::vector<std::string> LongOptionNames(const std::string& name) {
  CLI::App app;
  app.set_help_flag();
  GlobalOptions global;
  CommandOptions options;
  std::vector<std::string> names;
  if (name.empty()) {
    AddGlobalOptions(app, global);
    // Read before the parser runs (ParseCommandLine), so they are no options of its own.
    names = {"--help", "--version"};
  } else if (const auto found = OptionDefinitions().find(name); found != OptionDefinitions().end()) {
    found->second(app, options);
  }
  for (const CLI::Option* option : app.get_options())
    for (const std::string& longName : option->get_lnames()) names.push_back("--" + longName);
  return names;
}

std::string CommandHelp(const std::string& name) {
  const Command* command = FindCommand(name);
  if (command == nullptr) return {};
  CommandOptions ignored;
  const auto app = CommandApp(*command, ignored);
  std::string usage = std::string(command->usage);
  std::string text = "usage: rurctl [OPTIONS] " + std::string(command->name) + (usage.empty() ? "" : " " + usage) +
                     "\n\n" + std::string(command->summary) + "\n";
  const auto options = app->get_options();
  if (!options.empty()) {
    text += "\n";
    for (const CLI::Option* option : options) {
      std::string head = option->get_name(false, true);
      if (option->get_expected_min() > 0 && option->nonpositional()) head += " " + option->get_type_name();
      head.resize(std::max<std::size_t>(head.size(), 24), ' ');
      text += "  " + head + "  " + option->get_description() + "\n";
    }
  }
  return text + "\nThe global options (rurctl --help) may stand before or after the command.\n\n" + ExitStatusHelp();
}

CommandLineOutcome ParseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& text) {
  const std::string name = CommandWord(args);
  const Command* command = name.empty() || name == "help" ? nullptr : FindCommand(name);
  if (name == "help") {
    // rurctl help [CMD]
    std::vector<std::string> rest;
    bool seen = false;
    for (const std::string& word : args) {
      if (seen && !word.empty() && word[0] != '-') rest.push_back(word);
      seen = seen || word == "help";
    }
    if (rest.empty()) {
      text = Usage();
      return CommandLineOutcome::ShowText;
    }
    text = CommandHelp(rest.front());
    if (text.empty() || rest.size() > 1) {
      text = UsageError("rurctl", rest.size() > 1 ? "help takes one command" : "unknown command " + rest.front());
      return CommandLineOutcome::UsageError;
    }
    return CommandLineOutcome::ShowText;
  }
  if (Asks(args, {"-h", "--help"})) {
    text = command != nullptr ? CommandHelp(name) : Usage();
    return CommandLineOutcome::ShowText;
  }
  if (Asks(args, {"-V", "--version"})) {
    text = "rurctl " + std::string(VersionText) + "\n";
    return CommandLineOutcome::ShowText;
  }
  if (name.empty()) {
    text = Usage();
    return CommandLineOutcome::UsageError;
  }
  if (command == nullptr) {
    std::string message = "unknown command " + name;
    if (name.size() > 5 && name.ends_with(".json")) message += " (a scenario goes as --simulate=FILE)";
    text = UsageError("rurctl", message);
    return CommandLineOutcome::UsageError;
  }
  if (Asks(args, {"--simulate="})) {
    text = UsageError("rurctl", "--simulate= needs a scenario file");
    return CommandLineOutcome::UsageError;
  }

  CLI::App app("rurctl", "rurctl");
  app.set_help_flag();
  app.fallthrough();
  app.require_subcommand(1);
  GlobalOptions& global = line.global;
  AddGlobalOptions(app, global);
  auto commandApp = CommandApp(*command, line.options);
  CLI::App* sub = app.add_subcommand(std::move(commandApp));
  // Named here, since the parser would take an unknown option for one of the command's words.
  bool afterName = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--") break;
    afterName = afterName || word == name;
    if (word.size() < 2 || word[0] != '-') continue;
    const std::string option = word.substr(0, word.find('='));
    const CLI::Option* known = sub->get_option_no_throw(option);
    if (known == nullptr) known = app.get_option_no_throw(option);
    const std::string who = afterName && known != app.get_option_no_throw(option) ? name : "rurctl";
    if (known == nullptr) {
      text = UsageError(afterName ? name : "rurctl", "unknown option " + word);
      return CommandLineOutcome::UsageError;
    }
    if (known->get_expected_min() > 0 && word.find('=') == std::string::npos &&
        (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1] == "--")) {
      text = UsageError(who, option + " needs a value");
      return CommandLineOutcome::UsageError;
    }
  }
  // CLI11 wants the words last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ValidationError& error) {
    // "--bay: takes 1 (HDD1) or 2 (HDD2)" reads as "--bay takes ...".
    std::string message = error.what();
    if (const auto colon = message.find(": "); colon != std::string::npos && message[0] == '-') message.erase(colon, 1);
    text = UsageError(sub->parsed() ? name : "rurctl", message);
    return CommandLineOutcome::UsageError;
  } catch (const CLI::ParseError& error) {
    text = UsageError(sub->parsed() ? name : "rurctl", error.what());
    return CommandLineOutcome::UsageError;
  }
  global.simulate = app.get_option("--simulate")->count() > 0;
  for (const char* empty : {"--sim-state", "--data-dir", "--trace"}) {
    if (app.get_option(empty)->count() > 0 && app.get_option(empty)->as<std::string>().empty()) {
      text = UsageError("rurctl", std::string(empty) + " needs a value");
      return CommandLineOutcome::UsageError;
    }
  }
  if (!global.simulate && (!global.simState.empty() || !global.trace.empty())) {
    text = UsageError("rurctl",
                      std::string(global.trace.empty() ? "--sim-state" : "--trace") + " works with --simulate only");
    return CommandLineOutcome::UsageError;
  }
  if (global.debug) global.verbose = true;
  line.command = command;
  return CommandLineOutcome::Run;
}

}  // namespace rur::cli
