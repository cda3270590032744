// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One health per enclosure, computed once from its typed status: the array, the members, fan and
// heat against the user's limits, the firmware and whether it answers. The tray, the status bar,
// rurctl's exit status, the metrics and the service show this one value.

#include <cstdint>
#include <string>

#include "monitor/array_health.h"
#include "monitor/enclosure_status.h"
#include "monitor/sensor_watch.h"

namespace rur {

enum class HealthLevel { Good, Warning, Critical };

struct EnclosureHealth {
  ArrayState array = ArrayState::Normal;
  bool answering = true;
  bool fanFault = false;
  bool overheated = false;
  bool firmwareInvalid = false;
  HealthLevel level = HealthLevel::Good;
  // One line for a person: "normal", "degraded: HDD2 absent", "failed", "not answering", "fan stopped" ...
  std::string summary;
};

EnclosureHealth HealthOf(const EnclosureStatus& status, bool answering, const SensorLimits& limits);
// "good", "warning", "critical".
const char* HealthLevelWord(HealthLevel level);

}  // namespace rur
