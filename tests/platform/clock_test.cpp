// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/date_time_text.h"

namespace rur {
namespace {

TEST(VirtualClock, SleepOnlyMovesTimeAndDatesFollowTheStart) {
  VirtualClock clock(LocalDateTime{2016, 5, 6, 23, 59, 58});
  EXPECT_EQ(clock.nowMs(), 0u);
  clock.sleepMs(1500);
  EXPECT_EQ(clock.nowMs(), 1500u);
  EXPECT_EQ(clock.localTime(), (LocalDateTime{2016, 5, 6, 23, 59, 59}));
  clock.sleepMs(1000);
  EXPECT_EQ(clock.localTime(), (LocalDateTime{2016, 5, 7, 0, 0, 0}));
  // Month, year and leap-day boundaries.
  EXPECT_EQ(CivilFromSeconds(CivilSeconds({2024, 2, 28, 23, 59, 59}) + 1), (LocalDateTime{2024, 2, 29, 0, 0, 0}));
  EXPECT_EQ(CivilFromSeconds(CivilSeconds({2026, 12, 31, 23, 59, 59}) + 1), (LocalDateTime{2027, 1, 1, 0, 0, 0}));
}

TEST(DateTimeText, StampAndDayFileName) {
  EXPECT_EQ(FormatDateTime({2016, 5, 6, 14, 3, 27}), "2016/5/6 14:03:27");
  EXPECT_EQ(FormatDateTime({2016, 5, 6, 0, 0, 0}), "2016/5/6");
  EXPECT_EQ(FormatDateTime({2016, 12, 16, 0, 0, 1}), "2016/12/16 0:00:01");
  EXPECT_EQ(DayFileStem({2016, 5, 6, 14, 3, 27}), "160506");
  EXPECT_EQ(DayFileStem({2031, 11, 30, 0, 0, 0}), "311130");
}

}  // namespace
}  // namespace rur
