// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real clock for a program with a window: a wait on the window's thread lets the window
// handle its events in short slices, so the pauses between controller queries do not freeze it.
// Off that thread the sink's pump does nothing and the wait is a plain sleep.

#include "platform/clock.h"
#include "platform/user_interface.h"

namespace rur {

class PumpingClock final : public Clock {
 public:
  explicit PumpingClock(Ui& ui) : ui_(ui) {}
  std::uint64_t nowMs() override { return real_.nowMs(); }
  void sleepMs(std::uint64_t ms) override;
  LocalDateTime localTime() override { return real_.localTime(); }

 private:
  RealClock real_;
  Ui& ui_;
};

}  // namespace rur
