// SPDX-License-Identifier: GPL-3.0-or-later
// A whole firmware upgrade (erase, program, verify) against the NOR-flash test controller, with a
// modelled cost per sector read charged to the virtual clock. Reports the host time per controller
// command and how the run's clock time compares with the least the protocol allows: the frame
// reads (with the separators equal neighbours need), one answer read and one 10 ms wait per command.
// The host time is split: what the program itself spends per command, and what the stand-in
// controller spends playing the flash (measured around its every request and subtracted).

#include <benchmark/benchmark.h>

#include <chrono>

#include "firmware/firmware_test_support.h"
#include "firmware/firmware_upgrade.h"
#include "firmware/nor_flash_device.h"

namespace {

using namespace rur;

constexpr std::uint64_t kReadCostMicros = 200;
constexpr std::uint64_t kAnswerWaitMs = 10;

void BM_FirmwareUpgrade(benchmark::State& state) {
  const auto length = static_cast<std::uint32_t>(state.range(0));
  test::NorFlashController controller;
  test::NorFlashDrives drives;
  drives.controllers[0] = &controller;
  VirtualClock clock;
  Ui ui;
  ControllerChannel channel(drives, clock, ui);
  DeviceTable devices;
  devices.current[0] = kEntryAccepted;
  devices.currentCount = 1;
  devices.currentInfo[0].productType = 0x21;
  UpgradeState upgradeState;
  SpiFlash flash(channel, devices, upgradeState, ui);
  FirmwareUpgrade upgrade(flash, devices, upgradeState, ui);

  test::HoldImage(upgrade.image(), test::MakeImage({.length = length}));
  controller.clock = &clock;
  controller.readCostMicros = kReadCostMicros;

  double hostSeconds = 0, standInSeconds = 0, runMs = 0, boundMs = 0;
  std::uint64_t commands = 0, reads = 0;
  for (auto _ : state) {
    controller.commands.clear();
    controller.reads = controller.separatorReads = controller.responseReads = 0;
    controller.standInSeconds = 0;
    const std::uint64_t startMs = clock.nowMs();
    const auto start = std::chrono::steady_clock::now();
    if (upgrade.RunUpgrade() != UpgradeOutcome::Succeeded) state.SkipWithError("upgrade failed");
    hostSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    standInSeconds += controller.standInSeconds;
    runMs += static_cast<double>(clock.nowMs() - startMs);

    const std::uint64_t n = controller.commands.size();
    const std::uint64_t frameReads = controller.reads - controller.separatorReads - controller.responseReads;
    const std::uint64_t neededSeparators = controller.separatorReads - controller.responseReads;
    boundMs += static_cast<double>((frameReads + neededSeparators + n) * kReadCostMicros) / 1000.0 +
               static_cast<double>(n * kAnswerWaitMs);
    commands += n;
    reads += controller.reads;
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["commands"] = static_cast<double>(commands) / runs;
  state.counters["reads"] = static_cast<double>(reads) / runs;
  state.counters["host_us_per_cmd"] = hostSeconds * 1e6 / static_cast<double>(commands);
  state.counters["program_us_per_cmd"] = (hostSeconds - standInSeconds) * 1e6 / static_cast<double>(commands);
  state.counters["stand_in_share"] = standInSeconds / hostSeconds;
  state.counters["run_s"] = runMs / 1000.0 / runs;
  state.counters["bound_s"] = boundMs / 1000.0 / runs;
  state.counters["run_over_bound"] = runMs / boundMs;
}
BENCHMARK(BM_FirmwareUpgrade)->Arg(64 << 10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirmwareUpgrade)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
