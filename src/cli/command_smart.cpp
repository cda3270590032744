// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl smart [--device N] [--bay 1|2] [--json]: a threshold and a data pass through the
// controller, then the graded grid of one bay as the SMART page shows it.

#include "cli/engine_session.h"
#include "cli/smart_report.h"

namespace rur::cli {

int RunSmart(CommandContext& context) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(context.args, {"--device", "--drive", "--bay"}, {"--json"}, parsed, error) ||
      !parsed.positionals.empty()) {
    context.err << "smart: " << (error.empty() ? "unexpected words" : error) << '\n';
    return kExitUsage;
  }
  std::uint64_t bay = 1;
  if (parsed.has("--bay") && (!ParseNumber(parsed.options["--bay"], 2, bay) || bay < 1)) {
    context.err << "smart: --bay takes 1 (HDD1) or 2 (HDD2)\n";
    return kExitUsage;
  }
  if (!ProbeNamedDrive(context, parsed, "smart")) return kExitUsage;
  if (!StartAndDetect(context, "smart")) return kExitFailed;
  unsigned position = 0;
  if (!DevicePosition(context, parsed, "smart", 1, position)) return kExitFailed;

  Engine& engine = context.env.engine();
  engine.ReadSmartNow();
  engine.SelectDevice(position);  // the heading takes the model as the status page shows it
  engine.SelectSmartBay(static_cast<unsigned>(bay - 1));
  const SmartPageModel& page = engine.smart().page();
  if (parsed.has("--json")) {
    context.out << SmartJson(page, position + 1, static_cast<unsigned>(bay)).dump(2) << '\n';
  } else {
    context.out << DeviceLabel(engine, position) << "\n" << SmartText(page);
  }
  if (!engine.smart().state().thresholdsValid) context.err << "smart: some threshold pages could not be read\n";
  return kExitOk;
}

}  // namespace rur::cli
