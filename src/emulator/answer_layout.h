// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the controller puts the fields of its status answers in the 512-byte answer block
// (signatures, status byte and data window are the transport's). Numbers are most significant
// byte first except the identity capacity.
// The simulator keeps its own copy of these offsets on purpose: were it to share the program's,
// a wrong offset would be wrong on both sides and no test would see it.

#include <cstddef>
#include <cstdint>

namespace rur::sim {

namespace identity_answer {
constexpr std::size_t kFirmwareVersion = 88;  // 4 bytes: the version field of the image in flash
constexpr std::size_t kMemberOrderByte = 91;  // bit 10h: member block A is HDD1
constexpr std::uint8_t kMemberOrderBit = 0x10;
constexpr std::size_t kProductCode = 92;    // two bytes
constexpr std::size_t kSensorAbsent = 124;  // two bytes, both zero when fan and temperature are reported
constexpr std::size_t kTemperature = 127;
constexpr std::size_t kFanHigh = 128;
constexpr std::size_t kFanLow = 129;
constexpr std::size_t kProductName = 160;  // 40 bytes, ATA string; zeros when there is none
constexpr std::size_t kProductNameLength = 40;
constexpr std::size_t kCapacity = 200;  // 48 bits, least significant byte first
}  // namespace identity_answer

namespace members_answer {
constexpr std::size_t kMode = 80;
constexpr std::size_t kBlockA = 84;   // member port 0
constexpr std::size_t kBlockB = 160;  // member port 1
// Offsets within a member block.
constexpr std::size_t kState = 0;
constexpr std::size_t kModel = 4;
constexpr std::size_t kModelLength = 40;
constexpr std::size_t kSerial = 44;
constexpr std::size_t kSerialLength = 20;
constexpr std::size_t kCapacity = 70;  // 48 bits
}  // namespace members_answer

namespace rebuild_answer {
constexpr std::size_t kRunning = 84;  // 2 while a rebuild runs
constexpr std::uint8_t kRunningValue = 2;
constexpr std::size_t kArraySize = 94;  // 48 bits
constexpr std::size_t kPosition = 119;  // 40 bits
}  // namespace rebuild_answer

}  // namespace rur::sim
