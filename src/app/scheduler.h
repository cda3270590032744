// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's timers on its clock. A timer fires once its interval has passed since it was
// started or last fired; a handler that pumps the user interface may let other timers run, but
// never itself again before it returns.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace rur {

class Scheduler {
 public:
  using TimerId = std::size_t;
  explicit Scheduler(Clock& clock) : clock_(clock) {}

  // A timer with `wanted` only has work while wanted() is true: on the real clock nothing wakes
  // for it while it is false, and once there is work it runs at the first look, as a tick that
  // came late. (A poller that finds nothing to do twenty times a second costs a watching program
  // its idle.)
  TimerId add(std::string name, std::uint64_t intervalMs, std::function<void()> handler, bool enabled,
              std::function<bool()> wanted = {});
  // Enabling a stopped timer starts its interval anew; enabling a running one changes nothing.
  void setEnabled(TimerId id, bool enabled);
  bool enabled(TimerId id) const { return timers_[id].enabled; }
  // Runs every timer that is due now, in the order they were added.
  void runDue();
  // The clock time at which the next timer is due (or now + 1 s when none runs).
  std::uint64_t nextDue() const;

 private:
  struct Timer {
    std::string name;
    std::uint64_t intervalMs;
    std::function<void()> handler;
    bool enabled;
    std::function<bool()> wanted;
    bool running = false;
    std::uint64_t dueAt = 0;
  };
  Clock& clock_;
  std::vector<Timer> timers_;
};

}  // namespace rur
