// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What tests reach inside the engine that no face may: the marks of a running upgrade (to stand
// for one), the firmware service's image and the SMART poller's countdown and thresholds.

#include "app/engine.h"

namespace rur {

class EngineTestAccess {
 public:
  static UpgradeState& Marks(Engine& engine) { return engine.upgrade_; }
  static FirmwareUpgrade& Firmware(Engine& engine) { return engine.firmware_; }
  static SmartPoller& Smart(Engine& engine) { return engine.smart_; }
};

}  // namespace rur
