// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The firmware a simulated controller leaves the factory with: a small generated image whose
// header passes the program's image checks, so backups, comparisons and upgrades have real bytes
// to work on.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "emulator/scenario.h"

namespace rur::sim {

namespace image_offset {
constexpr std::size_t kSignature = 0x80;  // "QOVA"
constexpr std::size_t kGuid = 0x84;       // 16 bytes
constexpr std::size_t kFlashType = 0x95;
constexpr std::size_t kVersion = 0x9C;      // 32 bits, most significant byte first
constexpr std::size_t kProductCode = 0xA0;  // two bytes
constexpr std::size_t kHeaderEnd = 0xA2;
}  // namespace image_offset

constexpr std::uint8_t kImageSignature[4] = {'Q', 'O', 'V', 'A'};
constexpr std::uint8_t kImageGuid[16] = {0xEF, 0x6D, 0x16, 0xAE, 0xDC, 0x6F, 0x4C, 0x47,
                                         0x9B, 0xA4, 0xB6, 0xAA, 0xE4, 0xB6, 0x9A, 0x84};

// productCode is used when the firmware spec names none.
std::vector<std::uint8_t> BuildStartImage(const FirmwareSpec& firmware, const std::array<std::uint8_t, 2>& productCode);

}  // namespace rur::sim
