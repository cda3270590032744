// SPDX-License-Identifier: GPL-3.0-or-later
// A measurement on the real clock, run by scripts/measure-resources.sh rather than by the test
// command (it takes about half a minute of real time): the longest stretch during a firmware
// upgrade in which the window could not handle its events. The window handles them in Ui::pump,
// which the SPI loops and the transport call; every request to the simulated enclosure costs real
// time here, as the round trip through a USB bridge would (RUR_REQUEST_COST_US, default 1000).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>

#include "app/engine.h"
#include "emulator/simulated_host.h"
#include "firmware/firmware_test_support.h"
#include "support/engine_test_access.h"
#include "support/recording_ui.h"
#include "support/sim_scenarios.h"

namespace rur {
namespace {

using Steady = std::chrono::steady_clock;

// Pumps as the window does (its engine timer steps the engine) and notes the longest wait between two.
struct GapUi : test::RecordingUi {
  Steady::time_point last{};
  Steady::duration longest{};
  void Mark() {
    const auto now = Steady::now();
    if (last != Steady::time_point{}) longest = std::max(longest, now - last);
    last = now;
  }
  void pump() override {
    Mark();
    RecordingUi::pump();
  }
};

TEST(Responsiveness, DISABLED_EventLoopGapDuringUpgrade) {
  const char* cost = std::getenv("RUR_REQUEST_COST_US");
  sim::Scenario scenario = test::ScenarioOf({test::EnclosureDrive(1)});
  scenario.requestCostUs = cost ? static_cast<std::uint32_t>(std::strtoul(cost, nullptr, 10)) : 1000;
  RealClock clock;
  sim::SimulatedHost host(scenario, clock);
  GapUi ui;
  Engine engine(
      host,
      [] {
        return std::vector<MountedVolume>{{"sdb1", 1, 0, 0}};
      },
      clock, ui);
  engine.SetStepHook([&host] { host.Advance(); });
  engine.Start();
  ASSERT_TRUE(engine.RunUntilDetected(30000));
  engine.RunFor(6000);  // monitoring armed

  constexpr std::uint32_t kImageLength = 16384;
  test::HoldImage(EngineTestAccess::Firmware(engine).image(),
                  test::MakeImage({.length = kImageLength, .firmwareType = 0x01}));
  bool stepping = false;
  ui.onPump = [&] {
    if (stepping) return;  // the engine's own pumps inside a step are the same event loop
    stepping = true;
    engine.Step();
    stepping = false;
  };
  const auto start = Steady::now();
  ui.last = start;
  ui.longest = {};
  ui.pumps = 0;
  const UpgradeOutcome outcome = engine.RunUpgrade();
  ui.Mark();
  const auto took = Steady::now() - start;
  EXPECT_EQ(outcome, UpgradeOutcome::Succeeded);

  const auto ms = [](Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  std::cout << "upgrade of " << kImageLength << " bytes with " << scenario.requestCostUs
            << " us a request: " << ms(took) / 1000 << " s, " << ui.pumps << " pumps, longest gap " << ms(ui.longest)
            << " ms\n";
  EXPECT_LT(ms(ui.longest), 50.0);
  engine.Close();
}

}  // namespace
}  // namespace rur
