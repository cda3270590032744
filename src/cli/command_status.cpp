// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl status [--json]: detection, one refresh, then what the status page shows for every
// enclosure. The exit status carries the arrays' health.

#include "cli/command_failure.h"
#include "cli/engine_session.h"
#include "cli/status_report.h"

namespace rur::cli {

int RunStatus(CommandContext& context) {
  if (!StartAndDetect(context, "status")) return kExitFailed;
  Engine& engine = context.env.engine();
  context.env.ui().note("status: reading the state of every enclosure");
  engine.RefreshNow();
  const auto devices = CollectStatus(engine);
  ReportDetectionProblems(context, "status");
  if (devices.empty()) return Fail(context, "status", "No Drive found!");
  if (context.options.json) {
    context.out << StatusJson(devices).dump(2) << '\n';
  } else {
    context.out << StatusText(devices);
  }
  // A device another process holds could not be read: the command did not do its whole job.
  if (!engine.busyDrives().empty()) return kExitFailed;
  int status = kExitOk;
  for (const DeviceStatus& device : devices) {
    if (!device.current || device.health.failed) status |= kExitUnavailable;
    if (device.current && device.health.degraded) status |= kExitDegraded;
  }
  return status;
}

}  // namespace rur::cli
