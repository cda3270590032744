// SPDX-License-Identifier: GPL-3.0-or-later
#include "smart/smart_tick.h"

#include "monitor/request_flags.h"

namespace rur {

std::string SmartCountdownText(std::uint8_t countdown, bool dataRequestPending) {
  if (dataRequestPending || countdown == 0) return "Updating...";
  return "Updates after " + std::to_string(countdown) + (countdown == 1 ? " second." : " seconds.");
}

SmartTickResult SmartTick(SmartState& state, const SmartTickInput& input) {
  SmartTickResult result;
  if (input.held) return result;
  const bool dataPending = (input.requestFlags & REQ_SMART_DATA) != 0;
  if (input.smartPageCurrent) result.countdownText = SmartCountdownText(state.smartCountdown, dataPending);
  // The countdown waits while a read is still queued, so reads never pile up.
  if (dataPending) return result;
  if (state.smartCountdown != 0) {
    --state.smartCountdown;
    return result;
  }
  result.raise = REQ_SMART_DATA;
  if (!state.thresholdsValid) result.raise |= REQ_SMART_THRESHOLDS;
  state.smartCountdown = kSmartCycleSeconds;
  return result;
}

}  // namespace rur
