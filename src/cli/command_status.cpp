// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl status [--json]: detection, one refresh, then what the status page shows for every
// enclosure.

#include "cli/engine_session.h"
#include "cli/status_report.h"

namespace rur::cli {

int RunStatus(CommandContext& context) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(context.args, {}, {"--json"}, parsed, error) || !parsed.positionals.empty()) {
    context.err << "status: " << (error.empty() ? "takes no words, only --json" : error) << '\n';
    return kExitUsage;
  }
  if (!StartAndDetect(context, "status")) return kExitFailed;
  Engine& engine = context.env.engine();
  engine.RefreshNow();
  const auto devices = CollectStatus(engine);
  if (parsed.has("--json")) {
    context.out << StatusJson(devices).dump(2) << '\n';
  } else {
    context.out << StatusText(devices);
  }
  ReportDetectionProblems(context, "status");
  if (devices.empty()) {
    context.err << "status: No Drive found!\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace rur::cli
