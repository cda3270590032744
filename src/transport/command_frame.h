// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A controller command as the frame the controller recognises, and the list of single-sector
// reads (LBAs) that spell the frame out on the disk.

#include <array>
#include <cstddef>
#include <cstdint>

namespace rur {

// Frame layout.
constexpr std::size_t kFrameWordsOffset = 0;  // four 16-bit words, least significant byte first
constexpr std::size_t kFrameGroupOffset = 8;  // four group bytes
constexpr std::size_t kFrameOpcodeOffset = 12;
constexpr std::size_t kFrameParamsOffset = 13;  // three parameter bytes
constexpr std::size_t kFrameHeaderSize = 16;
constexpr std::size_t kFramePayloadOffset = 16;  // long frames only
constexpr std::size_t kFramePayloadSize = 128;
constexpr std::size_t kShortFrameSize = 20;
constexpr std::size_t kLongFrameSize = 148;
constexpr std::size_t kShortFrameLbaCount = 16;
constexpr std::size_t kLongFrameLbaCount = 144;

constexpr std::array<std::uint16_t, 4> kFrameWords{0x0043, 0x0071, 0x00A7, 0x00DF};
using FrameGroup = std::array<std::uint8_t, 4>;
constexpr FrameGroup kGroupRead{0x00, 0x04, 0xEF, 0xFF};     // queries and reads
constexpr FrameGroup kGroupPayload{0x01, 0x05, 0xEF, 0xFF};  // commands that carry a payload
constexpr FrameGroup kGroupErase{0x00, 0x05, 0xEF, 0xFF};    // the SPI erase

// Where each frame element lands as an LBA: base + byte (the words stand for themselves).
constexpr std::uint32_t kGroupLbaBase = 256;
constexpr std::uint32_t kOpcodeLbaBase = 512;  // opcode and parameters
constexpr std::uint32_t kPayloadLbaBase = 768;
constexpr std::uint32_t kCrcLbaBase = 1024;
// Read between two equal neighbouring LBAs, so the controller sees every element.
constexpr std::uint32_t kSeparatorLba = 0x5FFF;
constexpr std::uint32_t kResponseLba = 17;

struct CommandFrame {
  std::array<std::uint8_t, kLongFrameSize> bytes{};
  bool isLong = false;
  std::size_t size() const { return isLong ? kLongFrameSize : kShortFrameSize; }
  std::uint32_t crc() const;  // the stored CRC, most significant byte first in the frame
};

struct LbaSequence {
  std::array<std::uint32_t, kLongFrameLbaCount> lbas{};
  std::size_t count = 0;
};

// payload: 128 bytes for a long frame, nullptr for a short one.
CommandFrame BuildCommandFrame(const FrameGroup& group, std::uint8_t opcode, const std::array<std::uint8_t, 3>& params,
                               const std::uint8_t* payload = nullptr);
LbaSequence BuildLbaSequence(const CommandFrame& frame);

}  // namespace rur
