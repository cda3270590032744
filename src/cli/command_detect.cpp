// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl detect [--json]: the detection the program runs at start-up, one line per enclosure found.

#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/engine_session.h"
#include "monitor/device_names.h"

namespace rur::cli {

int RunDetect(CommandContext& context) {
  if (!StartAndDetect(context, "detect")) return kExitFailed;
  const Engine& engine = context.env.engine();
  if (engine.deviceCount() == 0) return Fail(context, "detect", "No Drive found!");
  nlohmann::json list = nlohmann::json::array();
  for (unsigned i = 0; i < engine.deviceCount(); ++i) {
    const unsigned drive = engine.DriveAt(i);
    const int kind = static_cast<int>(engine.devices().currentInfo[i].controllerKind);
    const std::string product = DeviceProductName(engine.identity(drive));
    if (context.options.json)
      list.push_back({{"device", i + 1}, {"drive", drive}, {"controller_kind", kind}, {"product", product}});
    else
      context.out << "Device" << i + 1 << " drive=" << drive << " kind=" << kind << " product=" << product << '\n';
  }
  if (context.options.json) context.out << list.dump(2) << '\n';
  return kExitOk;
}

}  // namespace rur::cli
