// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/engine_session.h"

namespace rur::cli {

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
    std::uint64_t drive = 0;
    if (parsed.has("--device") || !ParseNumber(parsed.options.at("--drive"), 15, drive)) {
      context.err << command << ": --drive takes one physical drive number from 0 to 15 (not with --device)\n";
      return false;
    }
    for (unsigned i = 0; i < engine.deviceCount(); ++i) {
      if (engine.DriveAt(i) == drive) {
        position = i;
        return true;
      }
    }
    context.err << command << ": no enclosure on drive " << drive << '\n';
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
