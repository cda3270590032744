// SPDX-License-Identifier: GPL-3.0-or-later
// A whole detection (the first one after start-up) on the demo host: a plain disk and a mirrored
// enclosure, on the virtual clock. Reports the host time per detection and the program time the
// protocol's own waits take.

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
    sim::SimulatedHost host(test::ScenarioOf({test::PlainDisk(0), test::Enclosure(1)}), clock);
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

}  // namespace
