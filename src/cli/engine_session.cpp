// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/engine_session.h"

#include "cli/command_failure.h"
#include "cli/drive_names.h"
#include "notify/mail_center.h"

namespace rur::cli {

int ProbeNamedDrive(CommandContext& context, std::string_view command) {
  if (context.options.drive.empty()) return kExitOk;
  unsigned drive = 0;
  std::string error;
  if (!ResolveDriveName(context.env.program().drives(), context.options.drive, drive, error))
    return Fail(context, command, error, kExitUsage);
  Engine& engine = context.env.engine();
  ProbeScope scope = engine.detection().scope();
  scope.alsoDrives.push_back(drive);
  engine.SetProbeScope(std::move(scope));
  return kExitOk;
}

void ReportDetectionProblems(CommandContext& context, std::string_view command) {
  const Engine& engine = context.env.engine();
  for (const std::string& problem : engine.accessProblems()) context.err << command << ": " << problem << '\n';
  for (const BusyDrive& busy : engine.busyDrives())
    context.err << command << ": " << busy.path << " is in use by " << busy.holder << '\n';
}

bool StartAndDetect(CommandContext& context, std::string_view command, EventLogUse log) {
  Engine& engine = context.env.engine();
  const bool guest = context.env.options().serviceRuns;
  if (log == EventLogUse::Off || guest) engine.AttachEventLog(nullptr);
  // Where the service runs, it alone mails the alarms: one alarm, one mail.
  engine.SetAlarmsMailedElsewhere(guest);
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
    unsigned drive = 0;
    std::string error;
    if (!ResolveDriveName(context.env.program().drives(), options.drive, drive, error))
      return Fail(context, command, error, kExitUsage);
    for (unsigned i = 0; i < engine.deviceCount(); ++i) {
      if (engine.DriveAt(i) == drive) {
        position = i;
        return kExitOk;
      }
    }
    return Fail(context, command,
                "no enclosure on drive " + std::to_string(drive) + " (" + engine.DrivePathText(drive) + ")");
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
