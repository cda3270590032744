#pragma once
// A stand-in controller for SMART passes: scripted disks that decode each command frame from the
// reads they see and answer ATA issue and fetch commands from per-port SMART pages, with failures
// on demand. Every frame it saw is logged.

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "smart/smart_page.h"
#include "support/scripted_device.h"
#include "transport/command_frame.h"
#include "transport/commands.h"
#include "transport/result_codes.h"

namespace rur::test {

struct SeenCommand {
  unsigned drive;
  std::uint8_t opcode;
  std::uint8_t kind;  // ATA code parameter
  std::uint8_t port;
  std::uint8_t chunk;
  std::uint8_t fisCommand = 0;   // long frames: command and features of the register FIS
  std::uint8_t fisFeatures = 0;
  bool operator==(const SeenCommand&) const = default;
};

struct FakeSmartEnclosure {
  ScriptedDisk disk;
  SmartPage data[2]{};        // by controller port
  SmartPage thresholds[2]{};
  // The issue that the next fetches read from; nothing before the first successful issue.
  int issuedPort = -1;
  std::uint8_t issuedKind = 0;
};

class FakeSmartController final : public DriveSource {
 public:
  // Failure on demand: true makes the command answer with a non-zero status.
  std::function<bool(const SeenCommand&)> fails = [](const SeenCommand&) { return false; };
  std::vector<SeenCommand> seen;

  FakeSmartEnclosure& add(unsigned drive) {
    auto& slot = enclosures_[drive];
    slot = std::make_unique<FakeSmartEnclosure>();
    FakeSmartEnclosure& enclosure = *slot;
    enclosure.disk.answer = [this, drive, &enclosure](int, Sector& out) { Answer(drive, enclosure, out); };
    return enclosure;
  }

  DeviceHandle OpenPhysicalDrive(unsigned number) override {
    const auto found = enclosures_.find(number);
    if (found == enclosures_.end()) return nullptr;
    return std::make_unique<ScriptedDevice>(found->second->disk);
  }

  // Every request any disk received was a READ(10).
  bool onlyReads() const {
    for (const auto& [drive, enclosure] : enclosures_)
      for (const auto& request : enclosure->disk.requests)
        if (request.cdb[0] != kOpRead10) return false;
    return true;
  }

 private:
  struct Decoded {
    std::size_t start;
    SeenCommand command;
  };

  // The last frame spelt out before this poll: it starts with the four word LBAs.
  static std::optional<Decoded> LastFrame(unsigned drive, const ScriptedDisk& disk) {
    std::vector<std::uint32_t> lbas;
    for (const auto& r : disk.requests)
      if (r.cdb[0] == kOpRead10 && r.lba != kSeparatorLba && r.lba != kResponseLba) lbas.push_back(r.lba);
    for (std::size_t i = lbas.size(); i-- > 0;) {
      if (i + 12 > lbas.size() || lbas[i] != kFrameWords[0] || lbas[i + 1] != kFrameWords[1] ||
          lbas[i + 2] != kFrameWords[2] || lbas[i + 3] != kFrameWords[3])
        continue;
      SeenCommand command{drive, static_cast<std::uint8_t>(lbas[i + 8] - kOpcodeLbaBase),
                          static_cast<std::uint8_t>(lbas[i + 9] - kOpcodeLbaBase),
                          static_cast<std::uint8_t>(lbas[i + 10] - kOpcodeLbaBase),
                          static_cast<std::uint8_t>(lbas[i + 11] - kOpcodeLbaBase)};
      if (lbas[i + 4] == kGroupLbaBase + 1 && i + 16 <= lbas.size()) {
        command.fisCommand = static_cast<std::uint8_t>(lbas[i + 12 + kFisCommandOffset] - kPayloadLbaBase);
        command.fisFeatures = static_cast<std::uint8_t>(lbas[i + 12 + kFisFeaturesOffset] - kPayloadLbaBase);
      }
      return Decoded{i, command};
    }
    return std::nullopt;
  }

  void Answer(unsigned drive, FakeSmartEnclosure& enclosure, Sector& out) {
    const auto frame = LastFrame(drive, enclosure.disk);
    if (!frame) return;
    // Several polls may read the answer of one frame; it is judged once.
    auto& last = lastFrame_[drive];
    if (!last || last->start != frame->start) {
      last = frame;
      seen.push_back(frame->command);
      failing_[drive] = fails(frame->command);
    }
    const SeenCommand& c = frame->command;
    if (failing_[drive]) {
      out = SignedAnswer(0x10);
      return;
    }
    out = SignedAnswer(kStatusDone);
    if (c.opcode == CMD_ATA_ISSUE) {
      enclosure.issuedPort = c.port;
      enclosure.issuedKind = c.kind;
    } else if (c.opcode == CMD_ATA_FETCH) {
      if (enclosure.issuedPort != c.port || enclosure.issuedKind != c.kind || c.chunk < 1 || c.chunk > 4 ||
          c.port > 1) {
        out = SignedAnswer(0xE0);
        return;
      }
      const SmartPage& page = c.kind == SMART_READ_DATA ? enclosure.data[c.port] : enclosure.thresholds[c.port];
      std::copy_n(page.begin() + (c.chunk - 1) * kResponseDataWindowSize, kResponseDataWindowSize,
                  out.begin() + kResponseDataWindowOffset);
    }
  }

  std::map<unsigned, std::unique_ptr<FakeSmartEnclosure>> enclosures_;
  std::map<unsigned, std::optional<Decoded>> lastFrame_;
  std::map<unsigned, bool> failing_;
};

}  // namespace rur::test
