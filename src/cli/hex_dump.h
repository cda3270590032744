// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rur::cli {

// Sixteen bytes a line: the offset in hex, the bytes, and their printable characters.
std::string HexDump(const std::uint8_t* data, std::size_t size);

}  // namespace rur::cli
