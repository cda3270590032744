// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A simulated host on a virtual clock with the program's own controller channel in front of it.

#include <gtest/gtest.h>

#include <string>

#include "emulator/scenario.h"
#include "emulator/simulated_host.h"
#include "platform/clock.h"
#include "platform/user_interface.h"
#include "transport/controller_channel.h"

namespace rur::test {

inline sim::Scenario ParsedScenario(const std::string& json) {
  sim::Scenario scenario;
  std::string error;
  EXPECT_TRUE(sim::ParseScenario(json, scenario, error)) << error;
  return scenario;
}

struct SimulatedRig {
  explicit SimulatedRig(sim::Scenario scenario) : host(std::move(scenario), clock) {}
  explicit SimulatedRig(const std::string& json) : SimulatedRig(ParsedScenario(json)) {}

  // Moves the clock to t seconds of program time.
  void At(double seconds) {
    const auto target = static_cast<std::uint64_t>(seconds * 1000);
    if (target > clock.nowMs()) clock.advanceMs(target - clock.nowMs());
  }

  VirtualClock clock{LocalDateTime{2026, 3, 14, 9, 0, 0}};
  sim::SimulatedHost host;
  Ui ui;
  ControllerChannel channel{host, clock, ui};
  Sector answer{};
};

// An ATA string of the answers back to text, trailing spaces cut.
inline std::string AtaText(const std::uint8_t* at, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(at[i ^ 1u]);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

inline std::uint64_t BigEndian(const std::uint8_t* at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | at[i];
  return value;
}

}  // namespace rur::test
