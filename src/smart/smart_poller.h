// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The SMART side of the poll cycle: the passes that read the members' SMART pages, the page's
// evaluation for the device and bay the user looks at, and the once-a-second countdown to the
// next data read. It keeps the pages, grades and the page model between passes.

#include <cstdint>
#include <span>
#include <string>

#include "discovery/device_table.h"
#include "monitor/status_record.h"
#include "smart/evaluate_smart.h"
#include "smart/read_smart_pages.h"
#include "smart/smart_state.h"
#include "smart/smart_tick.h"
#include "transport/controller_channel.h"

namespace rur {

class SmartPoller {
 public:
  // A pass of kind SMART_READ_DATA or SMART_READ_THRESHOLDS over the enclosures of the table.
  void Read(std::uint8_t kind, ControllerChannel& channel, const DeviceTable& devices,
            std::span<const StatusRecord> records);
  // Reads both pages of one bay of the device at `slot` now; false when they were not read whole.
  // The store keeps them when the slot has a place there.
  bool ReadBayNow(ControllerChannel& channel, unsigned slot, const SmartEnclosure& enclosure, unsigned bay,
                  SmartBayPages& pages);
  // Grades the pages of the device at `slot` for the bay shown, whose model the heading names.
  void Evaluate(unsigned slot, const std::string& model);
  // The bay the page shows (0 = HDD1, 1 = HDD2).
  void SelectBay(unsigned bay) { state_.smartBay = bay > 1 ? 1 : bay; }
  unsigned bay() const { return state_.smartBay; }
  // One second of the countdown: the request bits to raise, and whether the shown text changed.
  std::uint8_t Tick(const SmartTickInput& input, bool& countdownChanged);

  const SmartState& state() const { return state_; }
  const SmartPageModel& page() const { return page_; }
  const std::string& countdownText() const { return countdownText_; }

  // Starts the countdown over at its end, so the next tick asks for a data read (and a threshold
  // read while the last one failed); for a caller that wants the pages now.
  void ExpireCountdown() { state_.smartCountdown = 0; }
  void ForgetThresholds() { state_.thresholdsValid = false; }

 private:
  SmartState state_;
  SmartPageModel page_;
  std::string countdownText_;
};

}  // namespace rur
