// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl detect: the detection the program runs at start-up, one line per enclosure found.

#include "cli/engine_session.h"
#include "monitor/device_names.h"

namespace rur::cli {

int RunDetect(CommandContext& context) {
  if (!context.args.empty()) {
    context.err << "detect: takes no arguments\n";
    return kExitUsage;
  }
  if (!StartAndDetect(context, "detect")) return kExitFailed;
  const Engine& engine = context.env.engine();
  for (unsigned i = 0; i < engine.deviceCount(); ++i) {
    const unsigned drive = engine.DriveAt(i);
    const DriveFacts names = engine.DriveNames(drive);
    context.out << "Device" << i + 1 << " drive=" << drive
                << " kind=" << static_cast<int>(engine.devices().currentInfo[i].controllerKind)
                << " product=" << DeviceProductName(engine.identity(drive))
                << " path=" << (names.path.empty() ? "-" : names.path)
                << " id=" << (names.byId.empty() ? "-" : names.byId) << '\n';
  }
  ReportDetectionProblems(context, "detect");
  if (engine.deviceCount() == 0) {
    context.err << "detect: No Drive found!\n";
    if (!engine.accessProblems().empty())
      context.err << "detect: some disks could not be read; run as root, or give your user read access to the "
                     "enclosure (rurctl udev-rule, docs/permissions.md)\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace rur::cli
