// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/spi_flash.h"

#include <array>
#include <cstdio>

#include "firmware/firmware_image.h"
#include "transport/commands.h"
#include "transport/pass_through.h"

namespace rur {
namespace {

const char* OperationName(bool read, bool write) { return read ? "ReadSPI" : write ? "WriteSPI" : "EraseSPI"; }

}  // namespace

std::string SpiAddressText(std::uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", address);
  return text;
}

SpiFlash::SpiFlash(ControllerChannel& channel, const DeviceTable& devices, UpgradeState& state, Ui& ui)
    : channel_(channel), devices_(devices), state_(state), ui_(ui) {}

void SpiFlash::ShowStatus(const std::string& text) {
  statusText_ = text;
  ui_.panel(kStatusPanel, text);
}

bool SpiFlash::TargetValid() {
  Ui& ui = ui_;
  if (devices_.currentCount == 0) {
    ShowStatus("Device not found!!!");
    ui.messageBox("No Device found !", "Message", MessageKind::Plain);
    return false;
  }
  if (state_.UpgradeTarget.load() >= devices_.currentCount) {
    ShowStatus("No Upgrade Mode!!!");
    ui.messageBox("No Upgrade Mode !", "Message", MessageKind::Plain);
    return false;
  }
  return true;
}

bool SpiFlash::ReadSPI(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  // Callers set UpgradeTarget first; without a valid one there is no device to read from.
  if (!TargetValid()) return false;
  return RunBlocks(DriveOf(devices_.current[state_.UpgradeTarget.load()]),
                   Range{Operation::Read, address, length, buffer, nullptr});
}

bool SpiFlash::WriteSPI(std::uint32_t address, std::uint32_t length, const std::uint8_t* source) {
  if (!TargetValid()) return false;
  return RunBlocks(DriveOf(devices_.current[state_.UpgradeTarget.load()]),
                   Range{Operation::Write, address, length, nullptr, source});
}

bool SpiFlash::EraseSPI(std::uint32_t address, std::uint32_t length) {
  if (!TargetValid()) return false;
  return RunBlocks(DriveOf(devices_.current[state_.UpgradeTarget.load()]),
                   Range{Operation::Erase, address, length, nullptr, nullptr});
}

std::optional<FlashHead> SpiFlash::ReadFlashHead(unsigned drive) {
  std::array<std::uint8_t, kFlashHeadLength> head{};
  if (!RunBlocks(drive, Range{Operation::Read, 0, kFlashHeadLength, head.data(), nullptr})) return std::nullopt;
  // The flash holds the image from address 0.
  return FlashHead{head[image_offset::kFirmwareType], HasImageHeader(head.data())};
}

bool SpiFlash::RunBlocks(unsigned drive, const Range& range) {
  const bool read = range.operation == Operation::Read;
  const bool write = range.operation == Operation::Write;
  const char* name = OperationName(read, write);
  const std::uint32_t step = range.operation == Operation::Erase ? kSpiEraseBlockSize : kSpiBlockSize;

  // Block numbers travel in 16 bits: past 8 MiB they would wrap and land on the start of the flash.
  const std::uint64_t blocks = (std::uint64_t{range.length} + step - 1) / step;
  if (std::uint64_t{range.address} + blocks * step > kSpiReachableBytes) {
    ShowStatus(std::string(name) + " out of range, Address = " + SpiAddressText(range.address));
    return false;
  }

  Ui& ui = ui_;
  // One hold for the whole range; an upgrade holds the drive already and this nests inside.
  const HoldAttempt held = channel_.drives().HoldController(drive, kShortCommandHoldWaitMs);
  if (held.outcome == HoldAttempt::Outcome::Busy) {
    ShowStatus(std::string(name) + ": the device is in use by " + held.holder);
    return false;
  }
  DeviceHandle device = held.outcome == HoldAttempt::Outcome::Held ? OpenDrive(channel_.drives(), drive) : nullptr;
  if (!device) {
    ui.messageBox("Invalid Drive", "", MessageKind::Plain);
    return false;
  }

  std::uint32_t address = range.address;
  for (std::uint64_t offset = 0; offset < range.length; offset += step, address += step) {
    bool done = false;
    for (unsigned attempt = 1; attempt <= kSpiBlockAttempts && !done; ++attempt) {
      ui.pump();
      ResultCode result = kResultOk;
      if (read) {
        result = channel_.SpiRead(*device, address, range.readInto + offset);
      } else if (write) {
        result = channel_.SpiWrite(*device, address, range.writeFrom + offset);
      } else {
        result = channel_.SpiErase(*device, address);
      }
      done = result == kResultOk;
      if (!done) {
        // The write text has no blank after "fail", as users have always seen it.
        ShowStatus(std::string(name) + (write ? " fail" : " fail ") + std::to_string(attempt) +
                   " times, Address = " + SpiAddressText(address));
      }
    }
    if (!done) {
      ShowStatus(std::string(name) + " fail, Address = " + SpiAddressText(address));
      return false;  // blocks already done stay done; the handle closes on return
    }
    ++state_.ProgressCount;
  }
  return true;
}

}  // namespace rur
