// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stand-in controller for SMART passes: scripted disks that decode each command frame from the
// reads they see and answer ATA issue and fetch from per-port pages, failing on demand.

#include <functional>
#include <map>
#include <memory>

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
  std::size_t framesSeen = 0;
  bool failing = false;
};

class FakeSmartController final : public DriveSource {
 public:
  std::function<bool(const SeenCommand&)> fails = [](const SeenCommand&) { return false; };
  std::vector<SeenCommand> seen;  // one entry per frame, in order

  FakeSmartEnclosure& add(unsigned drive) {
    auto& enclosure = enclosures_[drive];
    enclosure = std::make_unique<FakeSmartEnclosure>();
    enclosure->disk.answer = [this, drive, e = enclosure.get()](int, Sector& out) { Answer(drive, *e, out); };
    return *enclosure;
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
  void Answer(unsigned drive, FakeSmartEnclosure& e, Sector& out) {
    // The frame spelt out last: it starts with the four word LBAs.
    std::vector<std::uint32_t> lbas;
    for (const auto& r : e.disk.requests)
      if (r.lba != kSeparatorLba && r.lba != kResponseLba) lbas.push_back(r.lba);
    std::size_t frames = 0, start = 0;
    for (std::size_t i = 0; i + 12 <= lbas.size(); ++i)
      if (lbas[i] == kFrameWords[0] && lbas[i + 1] == kFrameWords[1]) ++frames, start = i;
    auto byte = [&](std::size_t i, std::uint32_t base) { return static_cast<std::uint8_t>(lbas[start + i] - base); };
    const SeenCommand c{drive, byte(8, kOpcodeLbaBase), byte(9, kOpcodeLbaBase), byte(10, kOpcodeLbaBase),
                        byte(11, kOpcodeLbaBase),
                        byte(4, kGroupLbaBase) == 1 ? byte(12 + kFisFeaturesOffset, kPayloadLbaBase) : std::uint8_t{0}};
    if (frames != e.framesSeen) {  // several polls read the answer of one frame
      e.framesSeen = frames;
      seen.push_back(c);
      e.failing = fails(c);
    }
    out = SignedAnswer(e.failing ? 0x10 : kStatusDone);
    if (!e.failing && c.opcode == CMD_ATA_FETCH) {
      const SmartPage& page = c.kind == SMART_READ_DATA ? e.data[c.port] : e.thresholds[c.port];
      std::copy_n(page.begin() + (c.chunk - 1) * kResponseDataWindowSize, kResponseDataWindowSize,
                  out.begin() + kResponseDataWindowOffset);
    }
  }

  std::map<unsigned, std::unique_ptr<FakeSmartEnclosure>> enclosures_;
};

}  // namespace rur::test
