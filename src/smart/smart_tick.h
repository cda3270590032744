// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The once-a-second SMART countdown (Timer3): it shows the time to the next data read on the
// SMART page and raises the read requests when the countdown has run out.

#include <cstdint>
#include <optional>
#include <string>

#include "smart/smart_state.h"

namespace rur {

struct SmartTickInput {
  bool held = false;              // detection pending or running, a firmware upgrade, or closing
  bool smartPageCurrent = false;  // the SMART page is the current page
  std::uint8_t requestFlags = 0;  // RequestFlags as they stand
};

struct SmartTickResult {
  std::optional<std::string> countdownText;  // the countdown text, when the SMART page is current
  std::uint8_t raise = 0;                    // request bits to set in RequestFlags
};

// "Updating..." or "Updates after N seconds." / "Updates after 1 second."
std::string SmartCountdownText(std::uint8_t countdown, bool dataRequestPending);

// One tick: 60 ticks count down from 60 to 1, the next raises REQ_SMART_DATA (and
// REQ_SMART_THRESHOLDS while the last threshold pass failed) and starts over at 60.
SmartTickResult SmartTick(SmartState& state, const SmartTickInput& input);

}  // namespace rur
