// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A controller with an 8 MiB NOR flash behind the read-sequence channel, for firmware tests and
// benchmarks: it decodes the frame from the LBAs it is asked to read, checks the CRC, executes the
// SPI commands and answers at LBA 17. Erasing sets a 4 KiB sector to FFh; programming can only
// clear bits. Faults are injected per command and address.

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "transport/command_frame.h"
#include "transport/commands.h"
#include "transport/crc32.h"
#include "transport/pass_through.h"
#include "transport/response_sector.h"
#include "transport/scsi_device.h"

namespace rur::test {

struct SpiCommandSeen {
  std::uint8_t opcode;
  std::uint32_t address;
  bool operator==(const SpiCommandSeen&) const = default;
};

class NorFlashController {
 public:
  static constexpr std::uint32_t kFlashSize = 8u << 20;
  static constexpr std::uint32_t kSectorBytes = 4096;
  static constexpr std::uint8_t kFailStatus = 0xE0;

  std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(kFlashSize, 0xFF);
  ControllerKind kind = ControllerKind::Raid;
  // The next n attempts of (opcode, address) answer with a failure status and change nothing.
  std::map<std::pair<std::uint8_t, std::uint32_t>, unsigned> failures;
  // Blocks whose programming reports success but does not stick.
  std::set<std::uint32_t> stuckBlocks;
  std::vector<SpiCommandSeen> commands;  // every command carried out or failed, in order
  std::uint64_t reads = 0;
  std::uint64_t separatorReads = 0;
  std::uint64_t responseReads = 0;
  std::uint64_t otherRequests = 0;  // anything but READ(10): must stay 0
  std::uint64_t badFrames = 0;
  // Modelled cost of one sector read, charged to the clock (benchmarks).
  VirtualClock* clock = nullptr;
  std::uint64_t readCostMicros = 0;

  std::size_t count(std::uint8_t opcode) const {
    std::size_t n = 0;
    for (const auto& c : commands) n += c.opcode == opcode;
    return n;
  }

  bool Execute(const ScsiRequest& request) {
    if (request.cdb[0] != kOpRead10) {
      ++otherRequests;
      return true;
    }
    ++reads;
    Charge();
    const std::uint32_t lba = (std::uint32_t{request.cdb[2]} << 24) | (std::uint32_t{request.cdb[3]} << 16) |
                              (std::uint32_t{request.cdb[4]} << 8) | request.cdb[5];
    if (lba == kResponseLba) {
      ++responseReads;
      if (answered_) std::memcpy(request.buffer, answer_.data(), kSectorSize);
      else std::memset(request.buffer, 0, kSectorSize);
      return true;
    }
    std::memset(request.buffer, 0, request.transferLength);
    if (lba == kSeparatorLba) ++separatorReads;
    else Decode(lba);
    return true;
  }

 private:
  void Charge() {
    if (clock == nullptr || readCostMicros == 0) return;
    pendingMicros_ += readCostMicros;
    clock->advanceMs(pendingMicros_ / 1000);
    pendingMicros_ %= 1000;
  }

  // Takes the next frame element; false when the LBA is not what the frame needs next.
  bool Accept(std::uint32_t lba) {
    const std::size_t i = position_;
    if (i < 8) {
      const std::uint16_t word = kFrameWords[i / 2];
      if (lba != word) return false;
      frame_[i] = static_cast<std::uint8_t>(word & 0xFF);
      frame_[i + 1] = static_cast<std::uint8_t>(word >> 8);
      position_ += 2;
      return true;
    }
    const bool isLong = frame_[kFrameGroupOffset] == 0x01;
    const std::size_t crcAt = isLong ? kLongFrameSize - 4 : kShortFrameSize - 4;
    const std::uint32_t base = i < kFrameOpcodeOffset ? kGroupLbaBase
                         : i < kFrameHeaderSize ? kOpcodeLbaBase
                         : i < crcAt            ? kPayloadLbaBase
                                                : kCrcLbaBase;
    if (lba < base || lba > base + 0xFF) return false;
    frame_[i] = static_cast<std::uint8_t>(lba - base);
    ++position_;
    if (position_ == crcAt + 4) Finish(crcAt);
    return true;
  }

  void Decode(std::uint32_t lba) {
    if (lba == kFrameWords[0]) {
      inFrame_ = true;
      position_ = 0;
      answered_ = false;  // a new frame hides the previous answer
    }
    if (inFrame_ && !Accept(lba)) inFrame_ = false;
  }

  void Finish(std::size_t crcAt) {
    inFrame_ = false;
    const std::uint32_t stored = (std::uint32_t{frame_[crcAt]} << 24) | (std::uint32_t{frame_[crcAt + 1]} << 16) |
                                 (std::uint32_t{frame_[crcAt + 2]} << 8) | frame_[crcAt + 3];
    if (stored != Crc32(frame_.data(), crcAt)) {
      ++badFrames;
      return;
    }
    const std::uint8_t opcode = frame_[kFrameOpcodeOffset];
    const std::uint32_t block = (std::uint32_t{frame_[kFrameParamsOffset + 1]} << 8) | frame_[kFrameParamsOffset + 2];
    const std::uint32_t address = block * kSpiBlockSize;
    commands.push_back({opcode, address});
    answer_.fill(0);
    WriteSignatures(answer_, kind);
    answered_ = true;

    auto fault = failures.find({opcode, address});
    if (fault != failures.end() && fault->second > 0) {
      --fault->second;
      answer_[kResponseStatusOffset] = kFailStatus;
      return;
    }
    answer_[kResponseStatusOffset] = kStatusDone;
    switch (opcode) {
      case CMD_SPI_READ:
        std::memcpy(answer_.data() + kResponseDataWindowOffset, flash.data() + address, kSpiBlockSize);
        break;
      case CMD_SPI_WRITE:
        if (stuckBlocks.count(address)) break;
        for (std::size_t k = 0; k < kSpiBlockSize; ++k) flash[address + k] &= frame_[kFramePayloadOffset + k];
        break;
      case CMD_SPI_ERASE: {
        const std::uint32_t sector = address & ~(kSectorBytes - 1);
        std::memset(flash.data() + sector, 0xFF, kSectorBytes);
        break;
      }
      default:
        break;
    }
  }

  std::array<std::uint8_t, kLongFrameSize> frame_{};
  bool inFrame_ = false;
  std::size_t position_ = 0;  // next frame element expected
  Sector answer_{};
  bool answered_ = false;
  std::uint64_t pendingMicros_ = 0;
};

// Physical drives, some of them NOR-flash controllers. Open handles are counted so tests can see
// every path close its device.
class NorFlashDrives final : public DriveSource {
 public:
  std::map<unsigned, NorFlashController*> controllers;
  int opens = 0;
  int openHandles = 0;

  DeviceHandle OpenPhysicalDrive(unsigned number) override {
    ++opens;
    auto found = controllers.find(number);
    if (found == controllers.end()) return nullptr;
    return std::make_unique<Handle>(*found->second, openHandles);
  }

 private:
  class Handle final : public ScsiDevice {
   public:
    Handle(NorFlashController& controller, int& open) : controller_(controller), open_(open) { ++open_; }
    ~Handle() override { --open_; }
    bool Execute(const ScsiRequest& request) override { return controller_.Execute(request); }

   private:
    NorFlashController& controller_;
    int& open_;
  };
};

}  // namespace rur::test
