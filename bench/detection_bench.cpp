// SPDX-License-Identifier: GPL-3.0-or-later
// A whole detection (the first one after start-up) on the virtual clock: on the demo host (a plain
// disk and a mirrored enclosure), and on a server with eight internal disks and enclosures at
// drives 9 and 12, probing the USB disks only (the default) and every disk. Reports the host time
// per detection and the program time the protocol's own waits take.

#include <benchmark/benchmark.h>

#include "app/engine.h"
#include "emulator/simulated_host.h"
#include "support/sim_scenarios.h"

namespace {

using namespace rur;

void BM_FirstDetection(benchmark::State& state) {
  double programMs = 0;
  std::uint64_t requests = 0;
  for (auto _ : state) {
    VirtualClock clock(LocalDateTime{2026, 3, 14, 9, 0, 0});
    sim::SimulatedHost host(test::ScenarioOf({test::PlainDisk(0), test::EnclosureDrive(1)}), clock);
    Ui ui;
    Engine engine(host, {}, clock, ui);
    engine.Start();
    if (!engine.RunUntilDetected(60000)) state.SkipWithError("no enclosure found");
    programMs = static_cast<double>(clock.nowMs());
    requests = host.requests().size();
  }
  state.counters["program_ms"] = programMs;
  state.counters["requests"] = static_cast<double>(requests);
}
BENCHMARK(BM_FirstDetection)->Unit(benchmark::kMillisecond);

sim::Scenario ServerHost() {
  std::vector<sim::DriveSpec> drives;
  for (unsigned number = 0; number < 8; ++number) {
    drives.push_back(test::PlainDisk(number));
    drives.back().bus = number < 4 ? "sata" : "sas";
  }
  drives.push_back(test::EnclosureDrive(9));
  drives.push_back(test::EnclosureDrive(12));
  return test::ScenarioOf(std::move(drives));
}

// Argument 0: USB disks only; 1: every disk.
void BM_ServerDetection(benchmark::State& state) {
  double programMs = 0;
  std::uint64_t requests = 0;
  for (auto _ : state) {
    VirtualClock clock(LocalDateTime{2026, 3, 14, 9, 0, 0});
    sim::SimulatedHost host(ServerHost(), clock);
    Ui ui;
    Engine engine(host, {}, clock, ui);
    ProbeScope scope;
    scope.allDisks = state.range(0) != 0;
    engine.SetProbeScope(scope);
    engine.Start();
    if (!engine.RunUntilDetected(120000) || engine.deviceCount() != 2) state.SkipWithError("enclosures not found");
    programMs = static_cast<double>(clock.nowMs());
    requests = host.requests().size();
  }
  state.counters["program_ms"] = programMs;
  state.counters["requests"] = static_cast<double>(requests);
}
BENCHMARK(BM_ServerDetection)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
