// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Range operations on the controller's SPI flash: read, program and erase, block by block, each
// block tried up to nine times, with progress counted and failures told on status panel 4.

#include <cstdint>
#include <optional>
#include <string>

#include "discovery/device_table.h"
#include "firmware/upgrade_state.h"
#include "platform/user_interface.h"
#include "transport/commands.h"
#include "transport/controller_channel.h"

namespace rur {

constexpr std::uint32_t kSpiEraseBlockSize = 4096;
constexpr unsigned kSpiBlockAttempts = 9;
constexpr int kStatusPanel = 4;
// Identification reads this much of the flash head to learn the firmware type.
constexpr std::uint32_t kFlashHeadLength = 256;

// "0080", "78000": upper-case hexadecimal, at least four digits.
std::string SpiAddressText(std::uint32_t address);

class SpiFlash {
 public:
  // Range operations go to the device of the upgrade target; failures are told to ui.
  SpiFlash(ControllerChannel& channel, const DeviceTable& devices, UpgradeState& state, Ui& ui);

  // buffer / source hold length rounded up to a multiple of 128 bytes: every block moves 128.
  bool ReadSPI(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  bool WriteSPI(std::uint32_t address, std::uint32_t length, const std::uint8_t* source);
  bool EraseSPI(std::uint32_t address, std::uint32_t length);

  // Identification's read of the flash head of a drive being probed: the product type byte
  // (FirmwareType) and whether an image header is in place, or nothing when the read failed.
  std::optional<FlashHead> ReadFlashHead(unsigned drive);

  // Status panel 4, remembered so the upgrade can repeat its last text in the final box.
  void ShowStatus(const std::string& text);
  const std::string& statusText() const { return statusText_; }

  ControllerChannel& channel() { return channel_; }

 private:
  enum class Operation { Read, Write, Erase };
  struct Range {
    Operation operation;
    std::uint32_t address;
    std::uint32_t length;
    std::uint8_t* readInto;
    const std::uint8_t* writeFrom;
  };

  bool TargetValid();
  bool RunBlocks(unsigned drive, const Range& range);

  ControllerChannel& channel_;
  const DeviceTable& devices_;
  UpgradeState& state_;
  Ui& ui_;
  std::string statusText_;
};

}  // namespace rur
