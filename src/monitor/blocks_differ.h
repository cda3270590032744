// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace rur {

// 0 when the blocks are equal, else the difference of the first differing bytes (unsigned values).
int BlocksDiffer(const std::uint8_t* a, const std::uint8_t* b, std::size_t length);

}  // namespace rur
