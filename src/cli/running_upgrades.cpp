// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/running_upgrades.h"

namespace rur::cli {

std::vector<RunningUpgrade> RunningUpgrades(Program& program) {
  std::vector<RunningUpgrade> running;
  for (const BusyDrive& busy : program.engine().busyDrives()) {
    const UpgradeStatus status = program.UpgradeStatusOfDrive(busy.drive);
    if (status.condition != UpgradeCondition::Running) continue;
    running.push_back({busy.drive, busy.path, program.engine().DriveNames(busy.drive).byId,
                       status.holder.empty() ? busy.holder : status.holder});
  }
  return running;
}

nlohmann::json RunningUpgradeJson(const RunningUpgrade& running) {
  // Not in the device table while the upgrade holds it: no device number, nothing read.
  return {{"device", nullptr},
          {"drive", running.drive},
          {"path", running.path},
          {"by_id", running.byId},
          {"current", false},
          {"error", "in use by " + running.holder},
          {"upgrade", UpgradeConditionName(UpgradeCondition::Running)}};
}

std::string RunningUpgradeText(const RunningUpgrade& running) {
  return "Drive " + std::to_string(running.drive) + " (" + running.path + "): firmware upgrade running\n" +
         "  Upgrade:           running (" + running.holder + "); its status is read once it has finished\n";
}

}  // namespace rur::cli
