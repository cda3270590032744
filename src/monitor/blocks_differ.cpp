// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/blocks_differ.h"

namespace rur {

int BlocksDiffer(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (a[i] != b[i]) return int{a[i]} - int{b[i]};
  return 0;
}

}  // namespace rur
