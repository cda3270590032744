// SPDX-License-Identifier: GPL-3.0-or-later
// How quickly rode-rurd answers a property read: one client alone, and ten clients reading at once,
// each on its own connection. Needs the service on the bus DBUS_SYSTEM_BUS_ADDRESS names;
// bench/service-bench.sh starts one on a private bus and also times rurctl status through it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

namespace {

constexpr const char* kBusName = "org.roderur.RodeRur1";
constexpr const char* kEnclosurePath = "/org/roderur/RodeRur1/enclosure1";
constexpr const char* kEnclosureInterface = "org.roderur.RodeRur1.Enclosure";

void BM_PropertyRead(benchmark::State& state) {
  std::unique_ptr<sdbus::IConnection> connection;
  std::unique_ptr<sdbus::IProxy> enclosure;
  try {
    connection = sdbus::createSystemBusConnection();
    enclosure = sdbus::createProxy(*connection, kBusName, kEnclosurePath);
    enclosure->getProperty("Mode").onInterface(kEnclosureInterface);
  } catch (const sdbus::Error& failure) {
    state.SkipWithError(("rode-rurd is not on the bus: " + failure.getMessage()).c_str());
    return;
  }
  // Each read timed on its own: the figure is the time one reader waits for its answer, also
  // while nine others read at the same moment.
  double waited = 0;
  double slowest = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const std::string mode = enclosure->getProperty("Mode").onInterface(kEnclosureInterface).get<std::string>();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(took);
    waited += took;
    slowest = std::max(slowest, took);
    benchmark::DoNotOptimize(mode);
  }
  constexpr double kMicrosecondsPerSecond = 1e6;
  // Averaged over the readers: what one of them waits per read, and at worst.
  state.counters["wait_us"] = benchmark::Counter(
      waited * kMicrosecondsPerSecond / static_cast<double>(state.iterations()), benchmark::Counter::kAvgThreads);
  state.counters["slowest_us"] = benchmark::Counter(slowest * kMicrosecondsPerSecond, benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_PropertyRead)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PropertyRead)->Threads(10)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
