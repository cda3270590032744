// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace rur {

// "Striping(RAID0)", "Mirroring(RAID1)", "NRAID", "JBOD", "Bypass", or "Undefine" for any other value.
std::string ModeText(std::uint8_t arrayMode);

}  // namespace rur
