// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/scheduler.h"

#include <algorithm>

namespace rur {

Scheduler::TimerId Scheduler::add(std::string name, std::uint64_t intervalMs, std::function<void()> handler,
                                  bool enabled, std::function<bool()> wanted) {
  // Waking for nothing only costs on the real clock; on the virtual clock every tick runs, so a
  // virtual run keeps exactly the timing it always had.
  if (clock_.isVirtual()) wanted = nullptr;
  timers_.push_back(Timer{std::move(name), intervalMs, std::move(handler), enabled, std::move(wanted), false,
                          clock_.nowMs() + intervalMs});
  return timers_.size() - 1;
}

void Scheduler::setEnabled(TimerId id, bool enabled) {
  Timer& timer = timers_[id];
  if (enabled && !timer.enabled) timer.dueAt = clock_.nowMs() + timer.intervalMs;
  timer.enabled = enabled;
}

void Scheduler::runDue() {
  for (TimerId id = 0; id < timers_.size(); ++id) {
    Timer& timer = timers_[id];
    const std::uint64_t now = clock_.nowMs();
    if (!timer.enabled || timer.running || now < timer.dueAt) continue;
    if (timer.wanted && !timer.wanted()) continue;
    // Late ticks are not made up: a timer that fell behind fires once and starts over.
    timer.dueAt += timer.intervalMs;
    if (timer.dueAt <= now) timer.dueAt = now + timer.intervalMs;
    timer.running = true;
    timers_[id].handler();
    timers_[id].running = false;
  }
}

std::uint64_t Scheduler::nextDue() const {
  std::uint64_t next = clock_.nowMs() + 1000;
  for (const Timer& timer : timers_)
    if (timer.enabled && !timer.running && (!timer.wanted || timer.wanted())) next = std::min(next, timer.dueAt);
  return next;
}

}  // namespace rur
