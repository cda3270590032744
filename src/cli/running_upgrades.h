// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Enclosures that another process holds for a firmware upgrade right now. Detection cannot read
// them, but status still names them, as running: an upgrade under way is neither a fault nor an
// upgrade that did not finish.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/program.h"

namespace rur::cli {

struct RunningUpgrade {
  unsigned drive = 0;
  std::string path;
  std::string byId;
  std::string holder;  // what makes the upgrade
};

// The drives detection found held whose holder is making a recorded upgrade.
std::vector<RunningUpgrade> RunningUpgrades(Program& program);
nlohmann::json RunningUpgradeJson(const RunningUpgrade& running);
std::string RunningUpgradeText(const RunningUpgrade& running);

}  // namespace rur::cli
