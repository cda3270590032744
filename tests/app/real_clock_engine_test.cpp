// SPDX-License-Identifier: GPL-3.0-or-later
// The engine on the real clock, where detection runs on its own thread while
// the main context keeps its timers going: the thread sanitizer run of the test command watches
// these tests for data races. They wait in real time, about two seconds each.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/simulated_engine.h"

namespace rur {
namespace {

// The detection job runs on its own thread on the real clock.
struct RealClockRun : test::SimulatedEngine<test::RecordingUi, RealClock> {
  explicit RealClockRun(sim::Scenario scenario) : SimulatedEngine(std::move(scenario), false) {}
};

TEST(RealClockEngine, DetectsOnItsThreadThenRefreshes) {
  RealClockRun run(test::ScenarioOf({test::EnclosureDrive(1), test::EnclosureDrive(2, sim::kArrayStriping)}));
  run.engine.Start();
  ASSERT_TRUE(run.engine.RunUntilDetected(10000));
  EXPECT_EQ(run.engine.deviceCount(), 2u);
  const auto& panel1 = run.ui.panelTexts[1];
  EXPECT_NE(std::find(panel1.begin(), panel1.end(), "Detected OK"), panel1.end());
  // The first refresh reads both devices; SMART requests were raised with the result.
  run.engine.RunFor(300);
  EXPECT_TRUE(run.engine.Close());
  EXPECT_EQ(run.host.refusedRequests(), 0u);
}

TEST(RealClockEngine, DeviceChangeWhileTheThreadProbes) {
  // The second enclosure goes away while the first detection is still probing: the simulator
  // reports the change from the detection thread, and the engine takes it from there.
  sim::Scenario scenario = test::ScenarioOf({test::EnclosureDrive(1), test::EnclosureDrive(2)});
  sim::TimelineEvent unplug;
  unplug.atMs = 300;
  unplug.drive = 2;
  unplug.kind = sim::EventKind::Unplugged;
  scenario.timeline.push_back(unplug);
  RealClockRun run(scenario);
  run.engine.Start();
  ASSERT_TRUE(run.engine.RunUntilDetected(10000));
  EXPECT_GE(run.engine.detection().countdown(), kDeviceChangeStart);
  EXPECT_TRUE(run.engine.Close());
}

}  // namespace
}  // namespace rur
