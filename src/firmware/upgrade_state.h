// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The marks a firmware upgrade leaves for the rest of the program. Every sender of controller
// commands tests OperationBusy / UpgradeTarget before it starts; the detection thread reads them
// too, hence atomics.

#include <atomic>
#include <cstdint>

#include "discovery/device_table.h"

namespace rur {

struct UpgradeState {
  std::atomic<bool> OperationBusy{false};
  // Index into the current devices of the device being upgraded; kNoDevice when none.
  std::atomic<std::uint32_t> UpgradeTarget{kNoDevice};
  // The device picked on the Upgrade page (0 or 1).
  std::atomic<std::uint32_t> UpgradeSelection{0};
  // Blocks done by the SPI operations; the progress timer copies it to the progress bar.
  std::atomic<std::int32_t> ProgressCount{0};

  bool targetSet() const { return UpgradeTarget.load() != kNoDevice; }
};

}  // namespace rur
