// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "monitor/request_flags.h"
#include "smart/smart_tick.h"

namespace rur {
namespace {

TEST(SmartTick, OneCycleIsSixtyOneTicksWithTheCountdownText) {
  SmartState state;
  state.thresholdsValid = true;
  std::vector<std::string> texts;
  int raisedAt = 0;
  for (int tick = 1; tick <= 61 && raisedAt == 0; ++tick) {
    const SmartTickResult result = SmartTick(state, {false, true, MONITOR_ARMED});
    texts.push_back(result.countdownText.value_or("-"));
    if (result.raise == REQ_SMART_DATA) raisedAt = tick;
  }
  EXPECT_EQ(raisedAt, 61);
  EXPECT_EQ(texts.at(0), "Updates after 60 seconds.");
  EXPECT_EQ(texts.at(58), "Updates after 2 seconds.");
  EXPECT_EQ(texts.at(59), "Updates after 1 second.");
  EXPECT_EQ(texts.at(60), "Updating...");

  // While the read waits in the queue the countdown stands still; held ticks do nothing at all.
  EXPECT_EQ(SmartTick(state, {false, true, REQ_SMART_DATA}).countdownText, "Updating...");
  EXPECT_FALSE(SmartTick(state, {true, true, 0}).countdownText);
  EXPECT_EQ(state.smartCountdown, 60);
  EXPECT_FALSE(SmartTick(state, {false, false, 0}).countdownText);  // away from the page: no text
  EXPECT_EQ(state.smartCountdown, 59);

  state.smartCountdown = 0;
  state.thresholdsValid = false;
  EXPECT_EQ(SmartTick(state, {false, false, 0}).raise, REQ_SMART_DATA | REQ_SMART_THRESHOLDS);
}

}  // namespace
}  // namespace rur
