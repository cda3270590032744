// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The read-sequence channel to the enclosure controller: a command goes out as single-sector
// reads that spell its frame, and the answer is polled from LBA 17 until both signatures appear.
// One channel serves the whole program; its request record is reused by every command, so
// commands must never overlap (the engine keeps detection and the poll cycle apart). Across
// processes, each command sequence holds the drive's controller hold (DriveSource::HoldController).

#include <array>
#include <cstdint>
#include <string>

#include "transport/command_frame.h"
#include "transport/controller_relay.h"
#include "transport/pacing.h"
#include "transport/response_sector.h"
#include "transport/result_codes.h"
#include "transport/scsi_device.h"

namespace rur {

struct RequestRecord {
  CommandFrame frame;
  LbaSequence sequence;
  Sector answer{};
  std::uint8_t lastStatus = 0;
  ControllerKind controllerKind = ControllerKind::Raid;
  std::uint32_t polls = 0;            // polls made by the last wait for an answer
  ResultCode lastResult = kResultOk;  // of the last command that opened its own drive
  std::string busyHolder;             // what held the controller when the last command found it busy
};

// How long a short command waits for another process to let go of the controller (real time).
constexpr std::uint32_t kShortCommandHoldWaitMs = 1000;

class ControllerChannel {
 public:
  ControllerChannel(DriveSource& drives, PollClock& clock, EventPump& pump);

  // Commands that open the target drive themselves and close it before returning. Each holds the
  // drive's controller for its frame and polls; kResultControllerBusy when another process kept it.
  ResultCode Query(unsigned drive, std::uint8_t code, Sector& answer);
  ResultCode AtaIssue(unsigned drive, std::uint8_t ataCode, std::uint8_t member, Sector& answer);
  ResultCode AtaFetch(unsigned drive, std::uint8_t ataCode, std::uint8_t member, std::uint8_t chunk, Sector& answer);

  // SPI commands run on a handle their caller opened, under the caller's hold. out/data hold 128 bytes.
  ResultCode SpiRead(ScsiDevice& device, std::uint32_t address, std::uint8_t* out);
  ResultCode SpiWrite(ScsiDevice& device, std::uint32_t address, const std::uint8_t* data);
  ResultCode SpiErase(ScsiDevice& device, std::uint32_t address);

  // From now on the queries and member pages go to `relay` (null: to the devices again); the SPI
  // commands are then refused.
  void SetRelay(ControllerRelay* relay) { relay_ = relay; }
  bool relayed() const { return relay_ != nullptr; }

  const RequestRecord& record() const { return record_; }
  // Whether a command's frame or polls are under way: a wait inside it must not start another.
  bool commandInFlight() const { return executing_ > 0; }
  ControllerKind controllerKind() const { return record_.controllerKind; }
  DriveSource& drives() { return drives_; }

 private:
  struct Command {
    FrameGroup group;
    std::uint8_t opcode;
    std::array<std::uint8_t, 3> params;
    const std::uint8_t* payload;  // 128 bytes for a long frame
    std::uint32_t pollLimit;
  };

  ResultCode SendFrameCommand(unsigned drive, const Command& command, Sector& answer);
  // A relayed answer kept in the record as a device's would be.
  ResultCode TakeRelayedAnswer(ResultCode result, const Sector& answer);
  // Frame, transmission, wait and result mapping on an open device.
  ResultCode Execute(ScsiDevice& device, const Command& command);
  bool TransmitSequence(ScsiDevice& device);
  ResultCode AwaitResponse(ScsiDevice& device, std::uint32_t limit);

  DriveSource& drives_;
  PollClock& clock_;
  EventPump& pump_;
  unsigned executing_ = 0;
  RequestRecord record_;
  Sector scratch_{};  // data of frame and separator reads, which means nothing
  ControllerRelay* relay_ = nullptr;
  // The member page the relay gave for the last ATA issue, served chunk by chunk to the fetches.
  struct RelayedPage {
    unsigned drive = 0;
    std::uint8_t ataCode = 0, port = 0;
    bool valid = false;
    MemberPage bytes{};
  } relayedPage_;
};

// The SPI block number of a byte address: 128-byte blocks, kept to 16 bits, high byte first.
std::array<std::uint8_t, 3> SpiParams(std::uint32_t address);

}  // namespace rur
