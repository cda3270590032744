// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace rur {

// The reflected CRC-32 of IEEE 802.3 (the check value of "123456789" is 0xCBF43926).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t length);

}  // namespace rur
