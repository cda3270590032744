// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/engine_session.h"

#include "cli/command_arguments.h"
#include "cli/command_failure.h"

namespace rur::cli {

bool StartAndDetect(CommandContext& context, std::string_view command, EventLogUse log) {
  Engine& engine = context.env.engine();
  if (log == EventLogUse::Off) engine.AttachEventLog(nullptr);
  context.env.ui().note(std::string(command) + ": looking for enclosures among the drives");
  context.env.program().Start();
  if (!engine.RunUntilDetected(kDetectionWaitMs)) {
    Fail(context, command, "detection did not finish within " + std::to_string(kDetectionWaitMs / 1000) + " s");
    return false;
  }
  for (unsigned i = 0; i < engine.deviceCount(); ++i)
    context.env.ui().note(std::string(command) + ": found " + DeviceLabel(engine, i) + " at " +
                          context.env.program().DrivePath(engine.DriveAt(i)));
  return true;
}

int DevicePosition(CommandContext& context, std::string_view command, unsigned fallback, unsigned& position) {
  const Engine& engine = context.env.engine();
  const CommandOptions& options = context.options;
  if (!options.drive.empty()) {
    std::uint64_t drive = 0;
    if (!ParseNumber(options.drive, 15, drive)) {
      return Fail(context, command, "--drive takes one physical drive number from 0 to 15", kExitUsage);
    }
    for (unsigned i = 0; i < engine.deviceCount(); ++i) {
      if (engine.DriveAt(i) == drive) {
        position = i;
        return kExitOk;
      }
    }
    return Fail(context, command, "no enclosure on drive " + std::to_string(drive));
  }
  const unsigned device = options.device != 0 ? options.device : fallback;
  const unsigned count = engine.deviceCount();
  if (device < 1 || device > count) {
    return Fail(context, command,
                "no Device" + std::to_string(device) + " (" + std::to_string(count) + " enclosure" +
                    (count == 1 ? "" : "s") + " found)");
  }
  position = device - 1;
  return kExitOk;
}

}  // namespace rur::cli

namespace rur::cli {

std::string DeviceLabel(const Engine& engine, unsigned position) {
  return "Device" + std::to_string(position + 1) + " (drive " + std::to_string(engine.DriveAt(position)) + ")";
}

}  // namespace rur::cli
