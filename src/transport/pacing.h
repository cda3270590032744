// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the channel needs of the world around it while a command runs: a monotonic clock to pace
// its polls (virtual in tests, so the protocol's waits cost nothing) and a moment between reads for
// a window to handle its events. The platform's Clock and the user-interface sink provide them.

#include <cstdint>

namespace rur {

class PollClock {
 public:
  virtual ~PollClock() = default;
  virtual std::uint64_t nowMs() = 0;
  virtual void sleepMs(std::uint64_t ms) = 0;
};

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Let the window handle pending events inside long loops; nothing without a window.
  virtual void pump() {}
};

}  // namespace rur
