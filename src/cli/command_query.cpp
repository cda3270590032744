// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl query CODE [--drive N]: one status query through the controller channel, as the
// refresh and detection send it, with the raw answer shown.

#include <cstdio>

#include <algorithm>

#include "cli/command_arguments.h"
#include "cli/command_table.h"
#include "cli/drive_names.h"
#include "cli/hex_dump.h"
#include "transport/commands.h"
#include "transport/controller_channel.h"

namespace rur::cli {

int RunQuery(CommandContext& context) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(context.args, {"--drive"}, {}, parsed, error)) {
    context.err << "query: " << error << '\n';
    return kExitUsage;
  }
  std::uint64_t code = 0;
  unsigned drive = 0;
  if (parsed.positionals.size() != 1 || !ParseHexNumber(parsed.positionals[0], 0xFF, code)) {
    context.err << "query: expected one query code in hexadecimal, e.g. 0x17\n";
    return kExitUsage;
  }
  // Only the status queries: other codes reach commands that change the controller (the SPI
  // erase and write among them), which have their own guarded commands.
  constexpr std::uint8_t kStatusQueries[] = {QUERY_PROBE, QUERY_IDENTITY, QUERY_REBUILD, QUERY_MEMBERS};
  if (std::find(std::begin(kStatusQueries), std::end(kStatusQueries), code) == std::end(kStatusQueries)) {
    context.err << "query: " << parsed.positionals[0] << " is not a status query; the codes are 10, 11, 15 and 17\n";
    return kExitUsage;
  }
  if (parsed.has("--drive") &&
      !ResolveDriveName(context.env.program().drives(), parsed.options["--drive"], drive, error)) {
    context.err << "query: " << error << '\n';
    return kExitUsage;
  }

  context.env.program().ReportUnfinishedUpgrades();
  Sector answer{};
  ControllerChannel channel(context.env.program().drives(), context.env.clock(), context.env.ui());
  const ResultCode result = channel.Query(drive, static_cast<std::uint8_t>(code), answer);
  if (result == kResultControllerBusy) {
    context.err << "query: drive " << drive << " is in use by " << channel.record().busyHolder << '\n';
    return kExitFailed;
  }
  char line[32];
  std::snprintf(line, sizeof line, "result %02X\n", result);
  context.out << line << HexDump(answer.data(), answer.size());
  return result == kResultOk ? kExitOk : kExitFailed;
}

}  // namespace rur::cli
