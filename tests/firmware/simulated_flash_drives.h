// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drives the flash and upgrade tests talk to: one simulated enclosure (its SPI flash, its
// frame rules and its faults) on a simulated host, with a log of every SPI command its controller
// executed. Open handles are counted so tests can see every path close its device, and the drives
// can stop opening, as when a drive leaves the system while a handle to it is still open.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "emulator/simulated_host.h"
#include "support/sim_scenarios.h"
#include "transport/commands.h"
#include "transport/scsi_device.h"

namespace rur::test {

struct SpiCommandSeen {
  std::uint8_t opcode;
  std::uint32_t address;
  bool operator==(const SpiCommandSeen&) const = default;
};

// An SPI command as the controller executed it, with the byte address of its block.
inline SpiCommandSeen SpiCommandOf(const sim::ExecutedCommand& command) {
  const std::uint32_t block = (std::uint32_t{command.params[1]} << 8) | command.params[2];
  return {command.opcode, block * kSpiBlockSize};
}

class SimulatedFlashDrives final : public DriveSource {
 public:
  SimulatedFlashDrives(unsigned drive, Clock& clock) : drive_(drive), clock_(clock) { Reset(); }

  std::vector<SpiCommandSeen> commands;  // every command executed or failed, in order
  int opens = 0;
  int openHandles = 0;
  bool gone = false;  // no drive opens any more; handles already open keep working

  // A fresh enclosure: factory flash, no faults, nothing logged, the drive present.
  void Reset() {
    host_ = std::make_unique<sim::SimulatedHost>(ScenarioOf({EnclosureDrive(drive_)}), clock_);
    host_->controller(drive_)->setExecutedListener(
        [this](const sim::ExecutedCommand& command) { commands.push_back(SpiCommandOf(command)); });
    commands.clear();
    gone = false;
  }

  // The next `times` SPI commands of one kind on the block at `address` fail (0: every one), or
  // with SpiWontProgram report success without writing.
  void Fail(sim::FaultCommand command, std::uint32_t address, unsigned times,
            sim::FaultKind kind = sim::FaultKind::Status) {
    sim::Fault fault;
    fault.drive = drive_;
    fault.kind = kind;
    fault.command = command;
    fault.address = address;
    fault.times = times;
    controller().addFault(fault);
  }

  sim::SimulatedHost& host() { return *host_; }
  sim::SimulatedController& controller() { return *host_->controller(drive_); }
  sim::SpiFlash& flash() { return controller().flash(); }

  std::size_t count(std::uint8_t opcode) const {
    std::size_t n = 0;
    for (const auto& c : commands) n += c.opcode == opcode;
    return n;
  }
  // Requests other than well-formed READ(10): the flash code sends none.
  std::size_t otherRequests() const {
    std::size_t n = host_->refusedRequests();
    for (const auto& request : host_->requests()) n += request.inquiry;
    return n;
  }

  DeviceHandle OpenPhysicalDrive(unsigned number) override {
    ++opens;
    if (gone) return nullptr;
    DeviceHandle device = host_->OpenPhysicalDrive(number);
    if (!device) return device;
    return std::make_unique<Handle>(std::move(device), openHandles);
  }

 private:
  class Handle final : public ScsiDevice {
   public:
    Handle(DeviceHandle device, int& open) : device_(std::move(device)), open_(open) { ++open_; }
    ~Handle() override { --open_; }
    bool Execute(const ScsiRequest& request) override { return device_->Execute(request); }

   private:
    DeviceHandle device_;
    int& open_;
  };

  unsigned drive_;
  Clock& clock_;
  std::unique_ptr<sim::SimulatedHost> host_;
};

}  // namespace rur::test
