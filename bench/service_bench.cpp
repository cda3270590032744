// SPDX-License-Identifier: GPL-3.0-or-later
// How quickly rode-rurd answers a client that reads an enclosure's properties whole (GetAll): one
// client alone, and fifty at once, each on its own connection. Besides the mean, the counters give
// the 95th percentile and the slowest answer over all readers. Needs the service on the bus
// DBUS_SYSTEM_BUS_ADDRESS names; bench/service-bench.sh starts one on a private bus (with many
// simulated enclosures, SMART readers and a flash backup beside the readers) and also times
// rurctl status through it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

namespace {

constexpr const char* kBusName = "org.roderur.RodeRur1";
constexpr const char* kManagerPath = "/org/roderur/RodeRur1";
constexpr const char* kManagerInterface = "org.roderur.RodeRur1.Manager";
constexpr const char* kEnclosureInterface = "org.roderur.RodeRur1.Enclosure";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr double kMicrosecondsPerSecond = 1e6;
constexpr double kPercentile = 0.95;

// Every answer's wait of the run under way, over all its readers, and how many readers have added theirs.
std::mutex waitsMutex;
std::vector<double> waits;
int readersDone = 0;

void BM_GetAll(benchmark::State& state) {
  if (state.thread_index() == 0) {
    std::lock_guard lock(waitsMutex);
    waits.clear();
    readersDone = 0;
  }
  std::unique_ptr<sdbus::IConnection> connection;
  std::unique_ptr<sdbus::IProxy> enclosure;
  try {
    connection = sdbus::createSystemBusConnection();
    auto manager = sdbus::createProxy(*connection, kBusName, kManagerPath);
    std::vector<sdbus::ObjectPath> paths;
    manager->callMethod("GetEnclosures").onInterface(kManagerInterface).storeResultsTo(paths);
    if (paths.empty()) throw sdbus::Error("org.roderur.Bench", "the service lists no enclosure");
    // Readers spread over the enclosures.
    enclosure =
        sdbus::createProxy(*connection, kBusName, paths[static_cast<std::size_t>(state.thread_index()) % paths.size()]);
  } catch (const sdbus::Error& failure) {
    state.SkipWithError(("rode-rurd is not on the bus: " + failure.getMessage()).c_str());
    return;
  }
  std::vector<double> mine;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::map<std::string, sdbus::Variant> properties;
    enclosure->callMethod("GetAll")
        .onInterface(kPropertiesInterface)
        .withArguments(std::string(kEnclosureInterface))
        .storeResultsTo(properties);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(took);
    mine.push_back(took);
    benchmark::DoNotOptimize(properties);
  }
  // The last reader to finish tells the figures of all answers.
  std::lock_guard lock(waitsMutex);
  waits.insert(waits.end(), mine.begin(), mine.end());
  if (++readersDone < state.threads() || waits.empty()) return;
  std::sort(waits.begin(), waits.end());
  const double p95 = waits[std::min(waits.size() - 1, static_cast<std::size_t>(kPercentile * waits.size()))];
  std::fprintf(stderr, "GetAll, %d reader%s: %zu answers, p95 %.0f us, worst %.0f us\n", state.threads(),
               state.threads() == 1 ? "" : "s", waits.size(), p95 * kMicrosecondsPerSecond,
               waits.back() * kMicrosecondsPerSecond);
}
BENCHMARK(BM_GetAll)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetAll)->Threads(50)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
