// SPDX-License-Identifier: GPL-3.0-or-later
// Host-side cost of controller commands: an instant device that answers at the first poll, on the
// virtual clock, so only the program's own work (frames, CRC, sequences, request path) is measured.

#include <benchmark/benchmark.h>

#include <cstring>

#include "platform/clock.h"
#include "platform/user_interface.h"
#include "transport/commands.h"
#include "transport/controller_channel.h"
#include "transport/pass_through.h"

namespace {

using namespace rur;

class InstantDevice final : public ScsiDevice {
 public:
  InstantDevice() {
    WriteSignatures(answer_, ControllerKind::Raid);
    answer_[kResponseStatusOffset] = kStatusDone;
  }
  bool Execute(const ScsiRequest& request) override {
    ++reads;
    const bool response = request.cdb[5] == kResponseLba && request.cdb[4] == 0;
    if (response) std::memcpy(request.buffer, answer_.data(), kSectorSize);
    return true;
  }
  std::uint64_t reads = 0;

 private:
  Sector answer_{};
};

class InstantSource final : public DriveSource {
 public:
  DeviceHandle OpenPhysicalDrive(unsigned) override { return std::make_unique<Forward>(device); }
  InstantDevice device;

 private:
  struct Forward final : ScsiDevice {
    explicit Forward(InstantDevice& d) : target(d) {}
    bool Execute(const ScsiRequest& r) override { return target.Execute(r); }
    InstantDevice& target;
  };
};

void ReportRates(benchmark::State& state, std::uint64_t reads) {
  state.counters["commands/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["reads/s"] = benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kIsRate);
}

void BM_ShortCommand(benchmark::State& state) {
  InstantSource source;
  VirtualClock clock;
  Ui ui;
  ControllerChannel channel(source, clock, ui);
  Sector answer{};
  for (auto _ : state) benchmark::DoNotOptimize(channel.Query(0, QUERY_MEMBERS, answer));
  ReportRates(state, source.device.reads);
}
BENCHMARK(BM_ShortCommand);

void BM_LongCommand(benchmark::State& state) {
  InstantSource source;
  VirtualClock clock;
  Ui ui;
  ControllerChannel channel(source, clock, ui);
  DeviceHandle device = source.OpenPhysicalDrive(0);
  std::uint8_t block[128];
  for (std::size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  for (auto _ : state) benchmark::DoNotOptimize(channel.SpiWrite(*device, 0x1000, block));
  ReportRates(state, source.device.reads);
}
BENCHMARK(BM_LongCommand);

}  // namespace
