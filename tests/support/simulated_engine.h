// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine over a simulated host, wired as the program wires it (volumes, device changes and
// the scenario's timeline come from the simulator), without the window, files or mail. On the
// virtual clock by default; the real-clock tests give RealClock.

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "app/engine.h"
#include "emulator/simulated_host.h"
#include "support/recording_ui.h"
#include "support/sim_scenarios.h"
#include "transport/command_frame.h"
#include "transport/response_sector.h"

namespace rur::test {

template <typename UiType = RecordingUi, typename ClockType = VirtualClock>
struct SimulatedEngine {
  explicit SimulatedEngine(sim::Scenario scenario, bool start = true)
      : clock(MakeClock(scenario)),
        host(std::move(scenario), clock),
        engine(
            host, [this] { return host.volumes(); }, clock, ui) {
    host.setDeviceChangeListener([this](const DriveNotice& notice) { engine.DeviceChangeNotice(notice); });
    engine.SetStepHook([this] { host.Advance(); });
    if (start) engine.Start();
  }

  // Commands sent to a drive: every frame starts with a read of the first frame word.
  std::size_t CommandsTo(unsigned drive) const {
    return static_cast<std::size_t>(std::count_if(host.requests().begin(), host.requests().end(), [&](const auto& r) {
      return r.drive == drive && !r.inquiry && r.lba == kFrameWords[0];
    }));
  }

  // Opcodes of the frames the drive received so far, in order.
  std::vector<std::uint8_t> Opcodes(unsigned drive) const {
    // After the four frame words and the four group bytes.
    constexpr int kOpcodeElement = 8;
    std::vector<std::uint8_t> opcodes;
    int element = -1;
    for (const auto& request : host.requests()) {
      if (request.drive != drive || request.inquiry || request.lba == kSeparatorLba || request.lba == kResponseLba)
        continue;
      if (request.lba == kFrameWords[0]) element = 0;
      if (element >= 0 && element++ == kOpcodeElement)
        opcodes.push_back(static_cast<std::uint8_t>(request.lba - kOpcodeLbaBase));
    }
    return opcodes;
  }
  std::size_t Frames(unsigned drive, std::uint8_t opcode) const {
    const auto opcodes = Opcodes(drive);
    return static_cast<std::size_t>(std::count(opcodes.begin(), opcodes.end(), opcode));
  }

  const StatusRecord& Record(unsigned drive) const { return engine.record(drive); }

  ClockType clock;
  sim::SimulatedHost host;
  UiType ui;
  Engine engine;

 private:
  static ClockType MakeClock(const sim::Scenario& scenario) {
    if constexpr (std::is_same_v<ClockType, VirtualClock>) {
      return ClockType(scenario.start ? *scenario.start : LocalDateTime{2026, 1, 1, 0, 0, 0});
    } else {
      return ClockType();
    }
  }
};

}  // namespace rur::test
