// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One-byte results of a controller command: 0 is success, everything else a failure.

#include <cstdint>

namespace rur {

using ResultCode = std::uint8_t;

constexpr ResultCode kResultOk = 0x00;
constexpr ResultCode kResultOpenFailed = 0xF0;
constexpr ResultCode kResultSequenceReadFailed = 0xFF;
constexpr ResultCode kResultResponseReadFailed = 0xF1;
constexpr ResultCode kResultNoAnswer = 0xF2;
constexpr ResultCode kResultUnknownStatus = 0xF4;
// Another process of the program held the controller for longer than a short command waits.
constexpr ResultCode kResultControllerBusy = 0xF3;

// Status byte of an answer that means "carried out".
constexpr std::uint8_t kStatusDone = 0x20;

// A status byte mapped through the known set; anything unknown becomes kResultUnknownStatus.
constexpr std::uint8_t MapStatusByte(std::uint8_t status) {
  switch (status) {
    case 0x00:
    case 0x10:
    case 0x20:
    case 0xC0:
    case 0xD0:
    case 0xE0:
    case 0xF0:
    case 0xFF: return status;
    default: return kResultUnknownStatus;
  }
}

}  // namespace rur
