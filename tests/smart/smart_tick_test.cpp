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
    texts.push_back(result.label21.value_or("(none)"));
    if (result.raise != 0) {
      EXPECT_EQ(result.raise, REQ_SMART_DATA);
      raisedAt = tick;
    }
  }
  EXPECT_EQ(raisedAt, 61);
  ASSERT_EQ(texts.size(), 61u);
  EXPECT_EQ(texts[0], "Updates after 60 seconds.");
  EXPECT_EQ(texts[58], "Updates after 2 seconds.");
  EXPECT_EQ(texts[59], "Updates after 1 second.");
  EXPECT_EQ(texts[60], "Updating...");
  EXPECT_EQ(state.smartCountdown, 60);

  // While the read waits in the queue the countdown stands still and says so.
  for (int i = 0; i < 3; ++i) {
    const SmartTickResult result = SmartTick(state, {false, true, REQ_SMART_DATA});
    EXPECT_EQ(result.label21, "Updating...");
    EXPECT_EQ(result.raise, 0);
  }
  EXPECT_EQ(state.smartCountdown, 60);

  // Away from the SMART page the countdown runs without a text.
  const SmartTickResult away = SmartTick(state, {false, false, 0});
  EXPECT_FALSE(away.label21);
  EXPECT_EQ(state.smartCountdown, 59);
}

TEST(SmartTick, HeldTicksDoNothingAndFailedThresholdsAreAskedForAgain) {
  SmartState state;
  state.smartCountdown = 0;
  const SmartTickResult held = SmartTick(state, {true, true, 0});
  EXPECT_FALSE(held.label21);
  EXPECT_EQ(held.raise, 0);
  EXPECT_EQ(state.smartCountdown, 0);

  state.thresholdsValid = false;
  const SmartTickResult due = SmartTick(state, {false, true, 0});
  EXPECT_EQ(due.label21, "Updating...");
  EXPECT_EQ(due.raise, REQ_SMART_DATA | REQ_SMART_THRESHOLDS);
}

}  // namespace
}  // namespace rur
