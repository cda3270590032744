// SPDX-License-Identifier: GPL-3.0-or-later
// A watching program must not wake for nothing: on the real clock a poller without work does not
// bring the next wake-up forward, yet serves work as soon as there is some.

#include <gtest/gtest.h>

#include "app/scheduler.h"

namespace rur {
namespace {

// A real-clock stand-in whose time the test moves.
struct SteppedClock final : Clock {
  std::uint64_t now = 0;
  std::uint64_t nowMs() override { return now; }
  void sleepMs(std::uint64_t ms) override { now += ms; }
  LocalDateTime localTime() override { return {}; }
};

TEST(IdleWakeups, PollerWithoutWorkDoesNotWakeTheProgram) {
  SteppedClock clock;
  Scheduler scheduler(clock);
  bool work = false;
  int polls = 0, ticks = 0;
  scheduler.add(
      "Timer4", 500, [&] { ++ticks; }, true);
  scheduler.add(
      "TRaidThread", 50, [&] { ++polls; }, true, [&] { return work; });

  // Idle: the next wake-up is the half-second timer's, not the poller's.
  EXPECT_EQ(scheduler.nextDue(), 500u);
  clock.now = 500;
  scheduler.runDue();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(polls, 0);

  // Work comes up between two beats: the poller runs at the next look, then keeps its interval.
  clock.now = 520;
  work = true;
  EXPECT_LE(scheduler.nextDue(), 520u);
  scheduler.runDue();
  EXPECT_EQ(polls, 1);
  EXPECT_EQ(scheduler.nextDue(), 570u);
  work = false;
  EXPECT_EQ(scheduler.nextDue(), 1000u);
}

}  // namespace
}  // namespace rur
