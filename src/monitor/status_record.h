// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program knows of one enclosure: a 512-byte record per physical drive, at fixed
// offsets that every reader shares. Numbers in the record are least significant byte first.

#include <array>
#include <cstddef>
#include <cstdint>

#include "transport/scsi_device.h"

namespace rur {

using StatusRecord = std::array<std::uint8_t, 512>;

namespace status_offset {
constexpr std::size_t kOwnerDrive = 0;
constexpr std::size_t kFilledMark = 1;  // 0xA0 once detection filled the record
constexpr std::size_t kHdd1StateCode = 30;
constexpr std::size_t kHdd2StateCode = 31;
constexpr std::size_t kArrayMode = 57;
constexpr std::size_t kHdd1Serial = 58;     // 20 bytes, ATA string
constexpr std::size_t kHdd2Serial = 78;     // 20 bytes
constexpr std::size_t kArrayCapacity = 98;  // written as 48 bits, read as 40
constexpr std::size_t kDriveFlags = 104;
constexpr std::size_t kActivityFlags = 105;
constexpr std::size_t kActivityProgress = 106;
constexpr std::size_t kHdd1Model = 256;     // 40 bytes, ATA string
constexpr std::size_t kHdd1Capacity = 296;  // written as 48 bits, read as 40
constexpr std::size_t kHdd2Model = 302;
constexpr std::size_t kHdd2Capacity = 342;
constexpr std::size_t kEnvironmentFlags = 348;
constexpr std::size_t kFanSpeed = 349;  // 16 bits
constexpr std::size_t kTemperature = 351;
}  // namespace status_offset

constexpr std::uint8_t kRecordFilled = 0xA0;
constexpr std::size_t kSerialLength = 20;
constexpr std::size_t kModelLength = 40;
constexpr std::size_t kStatusRecordSlots = kDriveNumberLimit;  // one per physical drive number

// ArrayMode values as the record keeps them.
constexpr std::uint8_t kModeStriping = 0;
constexpr std::uint8_t kModeMirroring = 1;
constexpr std::uint8_t kModeNraid = 2;
constexpr std::uint8_t kModeJbod = 3;
constexpr std::uint8_t kModeBypass = 63;

// DriveFlags bits, member 1 (HDD1) in the low nibble, member 2 (HDD2) in the high nibble.
constexpr std::uint8_t kHdd1Inserted = 0x01;
constexpr std::uint8_t kHdd1Present = 0x02;
constexpr std::uint8_t kHdd1Absent = 0x04;
constexpr std::uint8_t kHdd1Failed = 0x08;
constexpr std::uint8_t kHdd2Inserted = 0x10;
constexpr std::uint8_t kHdd2Present = 0x20;
constexpr std::uint8_t kHdd2Absent = 0x40;
constexpr std::uint8_t kHdd2Failed = 0x80;
constexpr std::uint8_t kBothPresent = kHdd1Present | kHdd2Present;

// ActivityFlags bits: the member being rebuilt.
constexpr std::uint8_t kHdd1Rebuilding = 0x01;
constexpr std::uint8_t kHdd2Rebuilding = 0x02;

// Environment flags: high nibble 0xA marks fan and temperature as valid.
constexpr std::uint8_t kSensorsValid = 0xA0;
constexpr std::uint8_t kNoSensors = 0xFF;
constexpr std::uint8_t kFanFailure = 0x01;
constexpr std::uint8_t kOverTemperature = 0x04;

// Little-endian numbers of the record.
inline std::uint64_t ReadLe(const std::uint8_t* at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8) | at[i];
  return value;
}
inline void WriteLe(std::uint8_t* at, std::size_t width, std::uint64_t value) {
  for (std::size_t i = 0; i < width; ++i, value >>= 8) at[i] = static_cast<std::uint8_t>(value);
}

}  // namespace rur
