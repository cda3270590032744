// SPDX-License-Identifier: GPL-3.0-or-later
// One refresh cycle over 1, 10 and 20 enclosures on the virtual clock: the sensor, members (and,
// while a rebuild runs, rebuild) queries of every enclosure, asked side by side, and the day log's
// comparison, with the log kept in memory. Reports the host time per cycle and the program time
// the cycle takes, which must stay well inside the 5 s period.

#include <benchmark/benchmark.h>

#include <map>

#include "app/engine.h"
#include "emulator/simulated_host.h"
#include "monitor/event_log.h"
#include "support/sim_scenarios.h"

namespace {

using namespace rur;

void BM_RefreshCycle(benchmark::State& state) {
  const auto kEnclosures = static_cast<unsigned>(state.range(0));
  std::vector<sim::DriveSpec> drives;
  for (unsigned drive = 0; drive < kEnclosures; ++drive) drives.push_back(test::EnclosureDrive(drive));
  VirtualClock clock(LocalDateTime{2026, 3, 14, 9, 0, 0});
  sim::SimulatedHost host(test::ScenarioOf(drives), clock);
  Ui ui;
  Engine engine(
      host, [&host] { return host.volumes(); }, clock, ui);
  engine.SetStepHook([&host] { host.Advance(); });
  std::map<std::string, std::string> files;
  EventLogWriter log("/bench");
  log.setFileFunctions(
      [&files](const std::string& path, const std::string& contents, std::string&) {
        files[path] = contents;
        return true;
      },
      [&files](const std::string& path, std::string& contents) {
        const auto found = files.find(path);
        if (found == files.end()) return FileReadStatus::Missing;
        contents = found->second;
        return FileReadStatus::Ok;
      });
  engine.AttachEventLog(&log);
  engine.Start();
  if (!engine.RunUntilDetected(600000) || engine.deviceCount() != kEnclosures) {
    state.SkipWithError("the enclosures were not found");
    return;
  }
  engine.RefreshNow();  // the first cycle only draws the page
  double programMs = 0;
  for (auto _ : state) {
    const std::uint64_t before = clock.nowMs();
    engine.RefreshNow();
    programMs = static_cast<double>(clock.nowMs() - before);
  }
  if (engine.changedMask() != (DeviceMask{1} << kEnclosures) - 1)
    state.SkipWithError("not every enclosure was refreshed");
  state.counters["program_ms"] = programMs;
}
BENCHMARK(BM_RefreshCycle)->Arg(1)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);

}  // namespace
