// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/command_frame.h"

#include <algorithm>

#include "transport/crc32.h"

namespace rur {

std::uint32_t CommandFrame::crc() const {
  const std::size_t at = size() - 4;
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) | (std::uint32_t{bytes[at + 2]} << 8) |
         std::uint32_t{bytes[at + 3]};
}

CommandFrame BuildCommandFrame(const FrameGroup& group, std::uint8_t opcode, const std::array<std::uint8_t, 3>& params,
                               const std::uint8_t* payload) {
  CommandFrame frame;
  frame.isLong = payload != nullptr;
  for (std::size_t w = 0; w < kFrameWords.size(); ++w) {
    frame.bytes[kFrameWordsOffset + 2 * w] = static_cast<std::uint8_t>(kFrameWords[w] & 0xFF);
    frame.bytes[kFrameWordsOffset + 2 * w + 1] = static_cast<std::uint8_t>(kFrameWords[w] >> 8);
  }
  std::copy(group.begin(), group.end(), frame.bytes.begin() + kFrameGroupOffset);
  frame.bytes[kFrameOpcodeOffset] = opcode;
  std::copy(params.begin(), params.end(), frame.bytes.begin() + kFrameParamsOffset);
  if (payload) std::copy(payload, payload + kFramePayloadSize, frame.bytes.begin() + kFramePayloadOffset);

  const std::size_t crcOffset = frame.size() - 4;
  const std::uint32_t crc = Crc32(frame.bytes.data(), crcOffset);
  frame.bytes[crcOffset] = static_cast<std::uint8_t>(crc >> 24);
  frame.bytes[crcOffset + 1] = static_cast<std::uint8_t>(crc >> 16);
  frame.bytes[crcOffset + 2] = static_cast<std::uint8_t>(crc >> 8);
  frame.bytes[crcOffset + 3] = static_cast<std::uint8_t>(crc);
  return frame;
}

LbaSequence BuildLbaSequence(const CommandFrame& frame) {
  LbaSequence sequence;
  auto add = [&sequence](std::uint32_t lba) { sequence.lbas[sequence.count++] = lba; };
  for (std::uint16_t word : kFrameWords) add(word);
  for (std::size_t i = kFrameGroupOffset; i < kFrameOpcodeOffset; ++i) add(kGroupLbaBase + frame.bytes[i]);
  for (std::size_t i = kFrameOpcodeOffset; i < kFrameHeaderSize; ++i) add(kOpcodeLbaBase + frame.bytes[i]);
  const std::size_t crcOffset = frame.size() - 4;
  for (std::size_t i = kFramePayloadOffset; i < crcOffset; ++i) add(kPayloadLbaBase + frame.bytes[i]);
  for (std::size_t i = crcOffset; i < frame.size(); ++i) add(kCrcLbaBase + frame.bytes[i]);
  return sequence;
}

}  // namespace rur
