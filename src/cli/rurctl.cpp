// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/rurctl.h"

#include <string_view>

#include "cli/command_line.h"
#include "cli/command_table.h"
#include "cli/global_options.h"
#include "cli/service_client.h"
#include "cli/terminal_text_stream.h"
#include "platform/branding.h"

namespace rur::cli {

std::string Usage() {
  std::string text = "rurctl " + std::string(VersionText) +
                     ": the RODE RUR enclosure tool for scripts and servers\n\n"
                     "usage: rurctl [OPTIONS] COMMAND [ARGUMENTS]\n\ncommands:\n";
  // Each command on a line of its own, its summary below, wrapped to fit a terminal.
  constexpr std::size_t kWidth = 100;
  for (const Command& command : Commands()) {
    text += "  " + std::string(command.name) + (command.usage.empty() ? "" : " " + std::string(command.usage)) + "\n";
    std::string line = "      ";
    std::string_view words = command.summary;
    while (!words.empty()) {
      const std::size_t space = words.find(' ');
      const std::string_view word = words.substr(0, space);
      if (line.size() > 6 && line.size() + 1 + word.size() > kWidth) {
        text += line + "\n";
        line = "      ";
      }
      line += (line.size() > 6 ? " " : "") + std::string(word);
      words = space == std::string_view::npos ? std::string_view() : words.substr(space + 1);
    }
    text += line + "\n";
  }
  text += "\noptions:\n" + GlobalOptionsHelp() + "\n" + ExitStatusHelp();
  return text;
}

int RunRurctl(std::vector<std::string> args, std::ostream& rawOut, std::ostream& rawErr) {
  // Texts that devices and files chose are printed everywhere: none may steer the terminal.
  TerminalTextStream out(rawOut), err(rawErr);
  CommandLine line;
  std::string text;
  switch (ParseCommandLine(args, line, text)) {
    case CommandLineOutcome::ShowText: out << text; return kExitOk;
    case CommandLineOutcome::UsageError: err << text; return kExitUsage;
    case CommandLineOutcome::Run: break;
  }
  // Errors only: what the command prints as its result is dropped, its errors stay.
  std::ostream silent(nullptr);
  // Bytes asked for on standard output (firmware-backup -) are data, not talk: they stay as they are.
  const bool dataOnOutput = line.command->name == "firmware-backup";
  std::ostream& output = dataOnOutput ? rawOut : line.global.quiet ? silent : out;

  // Where rode-rurd serves the host, it owns the enclosures: status asks it, and the commands that
  // still run in-process leave the day log and the alarm mails to it.
  if (!line.global.simulate) {
    line.global.serviceRuns = ServiceRuns();
    const bool client = line.global.serviceRuns && !line.global.direct;
    if (client && line.command->name == "status") return RunStatusThroughService(line.options, output, err);
    if (client && line.command->name == "firmware-backup" && line.options.drive.empty())
      return RunFirmwareBackupThroughService(line.options, output, err);
    if (client) {
      bool handled = false;
      const int status = RunThroughService(line.command->name, line.options, output, err, handled);
      if (handled) return status;
    }
    // A second watch would log and mail every event a second time.
    if (line.global.serviceRuns && line.command->name == "monitor") {
      err << "monitor: the service rode-rurd watches this host, keeps the day log and mails the alarms; "
             "follow it with rurctl monitor, without --direct\n";
      return kExitFailed;
    }
  }
  std::string error;
  auto env = CliEnvironment::Create(line.global, error);
  if (!env) {
    err << "rurctl: " << error << '\n';
    return kExitUsage;
  }
  CommandContext context{*env, line.options, output, err};
  int status = line.command->run(context);
  if (!env->Finish(error)) {
    err << "rurctl: " << error << '\n';
    if (status == kExitOk) status = kExitFailed;
  }
  return status;
}

}  // namespace rur::cli
