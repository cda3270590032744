// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace rur {

// A sector count as whole gigabytes (2^30 bytes) + " GB", or megabytes + " MB" below one gigabyte.
std::string CapacityText(std::uint64_t sectors);

}  // namespace rur
