// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kept for bench/firmware_bench.cpp: it charges a modelled cost per read to the virtual clock; the simulator cannot.
// The controller inside is the simulator's (its frame rules, its SPI flash); this adds the read
// counts and the cost the benchmark reports on.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "emulator/simulated_controller.h"
#include "firmware/simulated_flash_drives.h"
#include "platform/clock.h"
#include "support/sim_scenarios.h"
#include "transport/pass_through.h"
#include "transport/scsi_device.h"

namespace rur::test {

class NorFlashController {
 public:
  NorFlashController() {
    controller_.setExecutedListener(
        [this](const sim::ExecutedCommand& command) { commands.push_back(SpiCommandOf(command)); });
  }
  NorFlashController(const NorFlashController&) = delete;
  NorFlashController& operator=(const NorFlashController&) = delete;

  std::vector<SpiCommandSeen> commands;  // every command executed, in order
  std::uint64_t reads = 0;
  std::uint64_t separatorReads = 0;
  std::uint64_t responseReads = 0;
  // Modelled cost of one sector read, charged to the clock.
  VirtualClock* clock = nullptr;
  std::uint64_t readCostMicros = 0;
  // Host time spent playing the controller (a benchmark subtracts it to see the program alone).
  double standInSeconds = 0;

  bool Execute(const ScsiRequest& request) {
    const auto start = std::chrono::steady_clock::now();
    const bool done = Serve(request);
    standInSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return done;
  }

 private:
  bool Serve(const ScsiRequest& request) {
    if (request.cdb[0] != kOpRead10) return true;
    ++reads;
    Charge();
    const std::uint32_t lba = (std::uint32_t{request.cdb[2]} << 24) | (std::uint32_t{request.cdb[3]} << 16) |
                              (std::uint32_t{request.cdb[4]} << 8) | request.cdb[5];
    const std::uint32_t count = (std::uint32_t{request.cdb[7]} << 8) | request.cdb[8];
    if (lba == kResponseLba) ++responseReads;
    if (lba == kSeparatorLba) ++separatorReads;
    return controller_.Read(lba, count, request.buffer);
  }

  void Charge() {
    if (clock == nullptr || readCostMicros == 0) return;
    pendingMicros_ += readCostMicros;
    clock->advanceMs(pendingMicros_ / 1000);
    pendingMicros_ %= 1000;
  }

  VirtualClock controllerClock_;  // the controller's own: timeline and fault windows stay at 0
  sim::SimulatedController controller_{EnclosureDrive(0), controllerClock_};
  std::uint64_t pendingMicros_ = 0;
};

// Physical drives, some of them NOR-flash controllers.
class NorFlashDrives final : public DriveSource {
 public:
  std::map<unsigned, NorFlashController*> controllers;

  DeviceHandle OpenPhysicalDrive(unsigned number) override {
    auto found = controllers.find(number);
    if (found == controllers.end()) return nullptr;
    return std::make_unique<Handle>(*found->second);
  }

 private:
  class Handle final : public ScsiDevice {
   public:
    explicit Handle(NorFlashController& controller) : controller_(controller) {}
    bool Execute(const ScsiRequest& request) override { return controller_.Execute(request); }

   private:
    NorFlashController& controller_;
  };
};

}  // namespace rur::test
