// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/frame_recognizer.h"

#include "transport/crc32.h"

namespace rur::sim {
namespace {

constexpr std::uint8_t kLongFrameGroupByte = 0x01;

// The byte a read stands for when its LBA lies in [base, base + 256).
std::optional<std::uint8_t> ByteAt(std::uint32_t lba, std::uint32_t base) {
  if (lba < base || lba >= base + 256) return std::nullopt;
  return static_cast<std::uint8_t>(lba - base);
}

}  // namespace

void FrameRecognizer::Reset() {
  stage_ = Stage::Idle;
  index_ = 0;
  previous_.reset();
}

void FrameRecognizer::Abort() {
  if (stage_ != Stage::Idle) ++aborted_;
  stage_ = Stage::Idle;
  index_ = 0;
}

void FrameRecognizer::Interrupt() {
  Abort();
  previous_.reset();
}

void FrameRecognizer::Enter(Stage stage) {
  stage_ = stage;
  index_ = 0;
}

std::optional<ReceivedFrame> FrameRecognizer::OnRead(std::uint32_t lba) {
  started_ = false;
  if (lba == kSeparatorLba) {
    previous_ = lba;
    return std::nullopt;
  }
  if (previous_ == lba) return std::nullopt;
  previous_ = lba;

  if (lba == kFrameWords[0]) {
    if (stage_ != Stage::Idle) ++aborted_;
    frame_ = CommandFrame{};
    frame_.bytes[kFrameWordsOffset] = static_cast<std::uint8_t>(kFrameWords[0]);
    Enter(Stage::Words);
    index_ = 1;
    started_ = true;
    return std::nullopt;
  }

  std::optional<std::uint8_t> byte;
  switch (stage_) {
    case Stage::Idle: return std::nullopt;  // ordinary disk traffic
    case Stage::Words:
      if (lba != kFrameWords[index_]) break;
      frame_.bytes[kFrameWordsOffset + 2 * index_] = static_cast<std::uint8_t>(lba & 0xFF);
      frame_.bytes[kFrameWordsOffset + 2 * index_ + 1] = static_cast<std::uint8_t>(lba >> 8);
      if (++index_ == kFrameWords.size()) Enter(Stage::Group);
      return std::nullopt;
    case Stage::Group:
      if (!(byte = ByteAt(lba, kGroupLbaBase))) break;
      frame_.bytes[kFrameGroupOffset + index_] = *byte;
      if (++index_ == 4) Enter(Stage::Params);
      return std::nullopt;
    case Stage::Params:
      if (!(byte = ByteAt(lba, kOpcodeLbaBase))) break;
      frame_.bytes[kFrameOpcodeOffset + index_] = *byte;
      if (++index_ == 4) {
        frame_.isLong = frame_.bytes[kFrameGroupOffset] == kLongFrameGroupByte;
        Enter(frame_.isLong ? Stage::Payload : Stage::Crc);
      }
      return std::nullopt;
    case Stage::Payload:
      if (!(byte = ByteAt(lba, kPayloadLbaBase))) break;
      frame_.bytes[kFramePayloadOffset + index_] = *byte;
      if (++index_ == kFramePayloadSize) Enter(Stage::Crc);
      return std::nullopt;
    case Stage::Crc: {
      if (!(byte = ByteAt(lba, kCrcLbaBase))) break;
      const std::size_t crcOffset = frame_.size() - 4;
      frame_.bytes[crcOffset + index_] = *byte;
      if (++index_ < 4) return std::nullopt;
      Enter(Stage::Idle);
      return ReceivedFrame{frame_, Crc32(frame_.bytes.data(), crcOffset) == frame_.crc()};
    }
  }
  Abort();
  return std::nullopt;
}

}  // namespace rur::sim
