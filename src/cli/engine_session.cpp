#include "cli/engine_session.h"

namespace rur::cli {

bool StartAndDetect(CommandContext& context, std::string_view command, EventLogUse log) {
  Engine& engine = context.env.engine();
  if (log == EventLogUse::Off) engine.eventLog = nullptr;
  context.env.program().Start();
  if (!engine.RunUntilDetected(kDetectionWaitMs)) {
    context.err << command << ": detection did not finish within " << kDetectionWaitMs / 1000 << " s\n";
    return false;
  }
  return true;
}

bool DevicePosition(CommandContext& context, const ParsedArguments& parsed, std::string_view command,
                    unsigned fallback, unsigned& position) {
  std::uint64_t device = fallback;
  if (parsed.has("--device") && !ParseNumber(parsed.options.at("--device"), kMaxDevices, device)) {
    context.err << command << ": --device takes a device number from 1 to " << kMaxDevices << '\n';
    return false;
  }
  const unsigned count = context.env.engine().devices.currentCount;
  if (device < 1 || device > count) {
    context.err << command << ": no Device" << device << " (" << count << " enclosure" << (count == 1 ? "" : "s")
                << " found)\n";
    return false;
  }
  position = static_cast<unsigned>(device - 1);
  return true;
}

}  // namespace rur::cli
