// SPDX-License-Identifier: GPL-3.0-or-later
// Scenario files are written by hand: a file either loads into a complete scenario or gives one
// error, never a crash; and whatever loads must give a simulated host that plays its timeline and
// answers the program's commands.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "emulator/scenario.h"
#include "emulator/simulated_host.h"
#include "platform/clock.h"
#include "platform/user_interface.h"
#include "transport/commands.h"
#include "transport/controller_channel.h"

namespace {

using namespace rur;

// Large enough for every event the fuzzer is likely to schedule, small enough to stay quick.
constexpr std::uint64_t kPlayedMs = 600000;
constexpr std::uint64_t kStepMs = 120000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 16384) return 0;
  sim::Scenario scenario;
  std::string error;
  if (!sim::ParseScenario(std::string(reinterpret_cast<const char*>(data), size), scenario, error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  VirtualClock clock(scenario.start.value_or(LocalDateTime{2026, 1, 1, 0, 0, 0}));
  sim::SimulatedHost host(scenario, clock);
  Ui ui;
  ControllerChannel channel(host, clock, ui);
  Sector answer{};
  for (std::uint64_t played = 0; played <= kPlayedMs; played += kStepMs) {
    host.Advance();
    for (const sim::DriveSpec& drive : scenario.drives) {
      if (drive.type != sim::DriveType::Enclosure) continue;  // a plain disk only lets polls run out
      for (const std::uint8_t code : {QUERY_IDENTITY, QUERY_MEMBERS, QUERY_REBUILD})
        channel.Query(drive.number, code, answer);
      channel.AtaIssue(drive.number, SMART_READ_DATA, 0, answer);
      channel.AtaFetch(drive.number, SMART_READ_DATA, 0, 1, answer);
    }
    clock.advanceMs(kStepMs);
  }
  if (host.refusedRequests() != 0) std::abort();
  return 0;
}
