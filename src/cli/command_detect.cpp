// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl detect [--json]: the detection the program runs at start-up, one line per enclosure found.

#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/engine_session.h"
#include "cli/json_text.h"
#include "monitor/device_names.h"
#include "platform/safe_text.h"

namespace rur::cli {

int RunDetect(CommandContext& context) {
  if (!StartAndDetect(context, "detect")) return kExitFailed;
  const Engine& engine = context.env.engine();
  ReportDetectionProblems(context, "detect");
  if (engine.deviceCount() == 0) {
    std::string message = "No Drive found!";
    if (!engine.accessProblems().empty())
      message +=
          "\ndetect: some disks could not be read; run as root, or give your user read access to the "
          "enclosure (rurctl udev-rule, docs/permissions.md)";
    return Fail(context, "detect", message);
  }
  nlohmann::json list = nlohmann::json::array();
  for (unsigned i = 0; i < engine.deviceCount(); ++i) {
    const unsigned drive = engine.DriveAt(i);
    const int kind = static_cast<int>(engine.devices().currentInfo[i].controllerKind);
    const std::string product = DeviceProductName(engine.identity(drive));
    const DriveFacts names = engine.DriveNames(drive);
    if (context.options.json) {
      list.push_back({{"device", i + 1},
                      {"drive", drive},
                      {"controller_kind", kind},
                      {"product", product},
                      {"path", names.path},
                      {"by_id", names.byId}});
    } else {
      // One line per enclosure, whatever the names hold.
      context.out << "Device" << i + 1 << " drive=" << drive << " kind=" << kind << " product=" << product
                  << " path=" << (names.path.empty() ? "-" : TerminalText(names.path))
                  << " id=" << (names.byId.empty() ? "-" : TerminalText(names.byId)) << '\n';
    }
  }
  if (context.options.json) context.out << JsonText(list, 2) << '\n';
  return kExitOk;
}

}  // namespace rur::cli
