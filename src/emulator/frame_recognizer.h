// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the controller picks command frames out of the reads it sees: a read of LBA 67 starts a
// frame, the following reads spell its words, group bytes, opcode and parameters, payload (when
// the first group byte is 01h) and CRC. Separator reads are skipped, and a read of the same LBA
// as the one just before is folded into it (the bridge serves it from its cache), which is why
// the program puts a separator between equal neighbours. Any read that does not fit drops the
// frame in progress.

#include <cstdint>
#include <optional>

#include "transport/command_frame.h"

namespace rur::sim {

struct ReceivedFrame {
  CommandFrame frame;
  bool crcGood = false;
};

class FrameRecognizer {
 public:
  // Feeds one single-sector read; returns the frame that this read completed, if any.
  std::optional<ReceivedFrame> OnRead(std::uint32_t lba);
  // A read the recognizer cannot take part in (several sectors at once): drops a frame in progress.
  void Interrupt();
  void Reset();

  bool inFrame() const { return stage_ != Stage::Idle; }
  // Whether the last read began a new frame.
  bool startedFrame() const { return started_; }
  unsigned abortedFrames() const { return aborted_; }

 private:
  enum class Stage { Idle, Words, Group, Params, Payload, Crc };
  void Abort();
  void Enter(Stage stage);

  Stage stage_ = Stage::Idle;
  std::size_t index_ = 0;  // element within the stage
  CommandFrame frame_;
  std::optional<std::uint32_t> previous_;
  bool started_ = false;
  unsigned aborted_ = 0;
};

}  // namespace rur::sim
