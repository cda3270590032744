// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller's identity answer as detection keeps it per physical drive, laid out like ATA
// IDENTIFY DEVICE data; text fields are ATA strings (each byte pair swapped).

#include <array>
#include <cstddef>
#include <cstdint>

#include "transport/scsi_device.h"

namespace rur {

using IdentifyBlock = std::array<std::uint8_t, 512>;
constexpr std::size_t kIdentifySlots = kDriveNumberLimit;  // one per physical drive number

namespace identify_offset {
constexpr std::size_t kFirmwareRevision = 46;  // 8 bytes, copied from answer bytes 88..95
constexpr std::size_t kRevisionSource = 88;
constexpr std::size_t kRevisionLength = 8;
constexpr std::size_t kFirmwareVersion = 46;  // bytes 46..49 read most significant first
constexpr std::size_t kMemberOrder = 49;      // bit 0x10
constexpr std::size_t kProductCode = 50;      // two bytes (answer bytes 92, 93)
constexpr std::size_t kAnswerProductCode = 92;
constexpr std::size_t kProductName = 54;    // 40 bytes, filled by detection
constexpr std::size_t kSensorAbsent = 124;  // bytes 124 and 125 both zero: fan and temperature reported
constexpr std::size_t kTemperature = 127;
constexpr std::size_t kFanSpeedHigh = 128;
constexpr std::size_t kFanSpeedLow = 129;
constexpr std::size_t kControllerName = 160;  // 40 bytes; non-zero first byte means present
constexpr std::size_t kCapacity = 200;        // 48 bits, least significant byte first
}  // namespace identify_offset

constexpr std::uint8_t kMemberOrderBit = 0x10;
constexpr std::size_t kProductNameLength = 40;

// Whether the first member block of the controller's answers describes HDD1.
inline bool AnswerBlockAIsHdd1(const IdentifyBlock& identity) {
  return (identity[identify_offset::kMemberOrder] & kMemberOrderBit) != 0;
}

}  // namespace rur
