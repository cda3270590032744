// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/engine_session.h"

#include "cli/drive_names.h"

namespace rur::cli {

bool ProbeNamedDrive(CommandContext& context, const ParsedArguments& parsed, std::string_view command) {
  if (!parsed.has("--drive")) return true;
  unsigned drive = 0;
  std::string error;
  if (parsed.has("--device") ||
      !ResolveDriveName(context.env.program().drives(), parsed.options.at("--drive"), drive, error)) {
    context.err << command << ": " << (error.empty() ? "--drive does not go with --device" : error) << '\n';
    return false;
  }
  Engine& engine = context.env.engine();
  ProbeScope scope = engine.detection().scope();
  scope.alsoDrives.push_back(drive);
  engine.SetProbeScope(std::move(scope));
  return true;
}

void ReportDetectionProblems(CommandContext& context, std::string_view command) {
  const Engine& engine = context.env.engine();
  for (const std::string& problem : engine.accessProblems()) context.err << command << ": " << problem << '\n';
  for (const BusyDrive& busy : engine.busyDrives())
    context.err << command << ": " << busy.path << " is in use by " << busy.holder << '\n';
}

bool StartAndDetect(CommandContext& context, std::string_view command, EventLogUse log) {
  Engine& engine = context.env.engine();
  if (log == EventLogUse::Off) engine.AttachEventLog(nullptr);
  context.env.program().Start();
  if (!engine.RunUntilDetected(kDetectionWaitMs)) {
    context.err << command << ": detection did not finish within " << kDetectionWaitMs / 1000 << " s\n";
    return false;
  }
  return true;
}

bool DevicePosition(CommandContext& context, const ParsedArguments& parsed, std::string_view command, unsigned fallback,
                    unsigned& position) {
  const Engine& engine = context.env.engine();
  if (parsed.has("--drive")) {
    unsigned drive = 0;
    std::string error;
    if (parsed.has("--device") ||
        !ResolveDriveName(context.env.program().drives(), parsed.options.at("--drive"), drive, error)) {
      context.err << command << ": " << (error.empty() ? "--drive does not go with --device" : error) << '\n';
      return false;
    }
    for (unsigned i = 0; i < engine.deviceCount(); ++i) {
      if (engine.DriveAt(i) == drive) {
        position = i;
        return true;
      }
    }
    context.err << command << ": no enclosure on drive " << drive << " (" << engine.DrivePathText(drive) << ")\n";
    return false;
  }
  std::uint64_t device = fallback;
  if (parsed.has("--device") && !ParseNumber(parsed.options.at("--device"), kMaxDevices, device)) {
    context.err << command << ": --device takes a device number from 1 to " << kMaxDevices << '\n';
    return false;
  }
  const unsigned count = engine.deviceCount();
  if (device < 1 || device > count) {
    context.err << command << ": no Device" << device << " (" << count << " enclosure" << (count == 1 ? "" : "s")
                << " found)\n";
    return false;
  }
  position = static_cast<unsigned>(device - 1);
  return true;
}

}  // namespace rur::cli

namespace rur::cli {

std::string DeviceLabel(const Engine& engine, unsigned position) {
  return "Device" + std::to_string(position + 1) + " (drive " + std::to_string(engine.DriveAt(position)) + ")";
}

}  // namespace rur::cli
