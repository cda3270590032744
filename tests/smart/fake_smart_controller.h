// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kept beside the simulator: it serves any page bytes in every chunk and fails whichever command a test picks.
// A stand-in controller for SMART passes: scripted disks that pick each command frame out of the
// reads they see with the simulated controller's recognizer, and answer ATA issue and fetch from
// per-port pages. As on the controller, a new frame voids the last answer and a frame with a
// bad CRC gets none.

#include <functional>
#include <map>
#include <memory>

#include "emulator/frame_recognizer.h"
#include "smart/smart_page.h"
#include "support/scripted_device.h"
#include "transport/command_frame.h"
#include "transport/commands.h"
#include "transport/result_codes.h"

namespace rur::test {

struct SeenCommand {
  unsigned drive;
  std::uint8_t opcode, kind, port, chunk;
  std::uint8_t fisFeatures = 0;  // issue only: the features byte of the register FIS
  bool operator==(const SeenCommand&) const = default;
};

struct FakeSmartEnclosure {
  ScriptedDisk disk;
  SmartPage data[2]{};  // by controller port
  SmartPage thresholds[2]{};
  std::size_t framesSeen = 0;  // frames received whole
  sim::FrameRecognizer recognizer;
  Sector answer{};  // what a read of LBA 17 shows: nothing until a frame is received
};

class FakeSmartController final : public DriveSource {
 public:
  static constexpr std::uint8_t kFailStatus = 0x10;

  std::function<bool(const SeenCommand&)> fails = [](const SeenCommand&) { return false; };
  std::vector<SeenCommand> seen;  // one entry per frame, in order

  FakeSmartEnclosure& add(unsigned drive) {
    auto& enclosure = enclosures_[drive];
    enclosure = std::make_unique<FakeSmartEnclosure>();
    FakeSmartEnclosure* e = enclosure.get();
    e->disk.onRead = [this, drive, e](std::uint32_t lba) {
      const auto received = e->recognizer.OnRead(lba);
      if (e->recognizer.startedFrame()) e->answer = Sector{};
      if (received && received->crcGood) Answer(drive, *e, received->frame);
    };
    e->disk.answer = [e](int, Sector& out) { out = e->answer; };
    return *e;
  }
  DeviceHandle OpenPhysicalDrive(unsigned number) override {
    const auto found = enclosures_.find(number);
    return found == enclosures_.end() ? nullptr : std::make_unique<ScriptedDevice>(found->second->disk);
  }
  bool onlyReads() const {
    for (const auto& [drive, enclosure] : enclosures_)
      for (const auto& request : enclosure->disk.requests)
        if (request.cdb[0] != kOpRead10) return false;
    return true;
  }

 private:
  void Answer(unsigned drive, FakeSmartEnclosure& e, const CommandFrame& frame) {
    const std::uint8_t* params = frame.bytes.data() + kFrameParamsOffset;
    const SeenCommand c{
        drive,     frame.bytes[kFrameOpcodeOffset],
        params[0], params[1],
        params[2], frame.isLong ? frame.bytes[kFramePayloadOffset + kFisFeaturesOffset] : std::uint8_t{0}};
    ++e.framesSeen;
    seen.push_back(c);
    const bool fetch = c.opcode == CMD_ATA_FETCH;
    const bool failing = fails(c) || c.port > 1 || (fetch && (c.chunk < 1 || c.chunk > 4));
    e.answer = SignedAnswer(failing ? kFailStatus : kStatusDone);
    if (!failing && fetch) {
      const SmartPage& page = c.kind == SMART_READ_DATA ? e.data[c.port] : e.thresholds[c.port];
      std::copy_n(page.begin() + (c.chunk - 1) * kResponseDataWindowSize, kResponseDataWindowSize,
                  e.answer.begin() + kResponseDataWindowOffset);
    }
  }

  std::map<unsigned, std::unique_ptr<FakeSmartEnclosure>> enclosures_;
};

}  // namespace rur::test
