// The engine on the real clock, where detection runs on its own thread (DriveDetectThread) while
// the main context keeps its timers going: the thread sanitizer run of the test command watches
// these tests for data races. They wait in real time, about two seconds each.

#include <gtest/gtest.h>

#include "app/engine.h"
#include "emulator/simulated_host.h"
#include "support/recording_ui.h"
#include "support/sim_scenarios.h"

namespace rur {
namespace {

struct RealClockRun {
  explicit RealClockRun(sim::Scenario scenario)
      : host(std::move(scenario), clock), engine(host, [this] {
          std::vector<MountedVolume> mounted;
          for (const auto& v : host.volumes()) mounted.push_back({v.name, v.drive, 0, 0});
          return mounted;
        }, clock, ui) {
    host.setDeviceChangeListener([this] { engine.DeviceChangeNotice(); });
    engine.hooks.step = [this] { host.Advance(); };
  }
  RealClock clock;
  sim::SimulatedHost host;
  test::RecordingUi ui;
  Engine engine;
};

TEST(RealClockEngine, DetectsOnItsThreadThenRefreshes) {
  RealClockRun run(test::ScenarioOf({test::Enclosure(1), test::Enclosure(2, sim::kArrayStriping)}));
  run.engine.Start();
  ASSERT_TRUE(run.engine.RunUntilDetected(10000));
  EXPECT_EQ(run.engine.devices.currentCount, 2u);
  EXPECT_EQ(run.ui.panels[1], "Detected OK");
  // The first refresh marks both devices; SMART requests were raised with the result.
  run.engine.RunFor(300);
  EXPECT_TRUE(run.engine.Close());
  EXPECT_EQ(run.host.refusedRequests(), 0u);
}

TEST(RealClockEngine, DeviceChangeWhileTheThreadProbes) {
  // The second enclosure goes away while the first detection is still probing: the simulator
  // reports the change from the detection thread, and the engine takes it from there.
  sim::Scenario scenario = test::ScenarioOf({test::Enclosure(1), test::Enclosure(2)});
  sim::TimelineEvent unplug;
  unplug.atMs = 300;
  unplug.drive = 2;
  unplug.kind = sim::EventKind::Unplugged;
  scenario.timeline.push_back(unplug);
  RealClockRun run(scenario);
  run.engine.Start();
  ASSERT_TRUE(run.engine.RunUntilDetected(10000));
  EXPECT_GE(static_cast<int>(run.engine.deviceChangeCounter), kDeviceChangeStart);
  EXPECT_TRUE(run.engine.Close());
}

}  // namespace
}  // namespace rur
