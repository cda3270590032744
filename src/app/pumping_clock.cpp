// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pumping_clock.h"

#include <algorithm>

namespace rur {
namespace {
constexpr std::uint64_t kSliceMs = 10;
}

void PumpingClock::sleepMs(std::uint64_t ms) {
  const std::uint64_t end = real_.nowMs() + ms;
  for (std::uint64_t now = real_.nowMs(); now < end; now = real_.nowMs()) {
    ui_.pump();
    real_.sleepMs(std::min(kSliceMs, end - now));
  }
}

}  // namespace rur
