// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numbers as a user types them on the command line.

#include <cstdint>
#include <string_view>

namespace rur::cli {

// A whole number in decimal or 0x-hexadecimal, at most max.
bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& out);
// A number always read as hexadecimal, with or without 0x.
bool ParseHexNumber(std::string_view text, std::uint64_t max, std::uint64_t& out);

}  // namespace rur::cli
