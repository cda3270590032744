// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything the SMART side keeps between passes: the pages of both bays of every enclosure, the
// outcome of the last threshold pass, the verdict per bay and the countdown to the next data read. It lives on the
// thread that runs the poll jobs and the window.

#include <array>
#include <cstdint>

#include "discovery/device_table.h"
#include "smart/smart_page.h"

namespace rur {

constexpr unsigned kSmartSlots = kMaxDevices;  // one per position of the device table
constexpr unsigned kSmartBays = 2;             // 0 = HDD1, 1 = HDD2
constexpr std::uint8_t kSmartCycleSeconds = 60;

struct SmartBayPages {
  SmartPage data{};        // SmartDataPage
  SmartPage thresholds{};  // SmartThresholdPage
  bool dataRead = false;   // the last data pass read this page whole (a failed chunk keeps old bytes)
};

using SmartStore = std::array<std::array<SmartBayPages, kSmartBays>, kSmartSlots>;

struct SmartState {
  SmartStore store{};
  bool thresholdsValid = false;  // ThresholdsValid: the last threshold pass gave nothing up
  std::array<std::array<std::uint8_t, kSmartBays>, kSmartSlots> driveGrade{};  // DriveGrade
  bool gridFocused = false;                          // GridFocused: the grid got the focus since it was last empty
  std::uint8_t smartCountdown = kSmartCycleSeconds;  // SmartCountdown
  unsigned smartBay = 0;                             // SmartBay: the bay the SMART page shows
};

}  // namespace rur
