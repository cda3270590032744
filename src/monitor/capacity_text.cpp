// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/capacity_text.h"

namespace rur {

std::string CapacityText(std::uint64_t sectors) {
  if ((sectors >> 21) != 0) return std::to_string(sectors >> 21) + " GB";
  return std::to_string(sectors >> 11) + " MB";
}

}  // namespace rur
