// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/controller_channel.h"

#include <algorithm>

#include "transport/commands.h"
#include "transport/pass_through.h"

namespace rur {
namespace {

constexpr std::uint64_t kPollSleepMs = 10;
// A limit below this is a number of polls, otherwise milliseconds.
constexpr std::uint32_t kPollCountLimitBelow = 10;

std::array<std::uint8_t, 3> QueryParams() { return {kQueryParams[0], kQueryParams[1], kQueryParams[2]}; }

}  // namespace

std::array<std::uint8_t, 3> SpiParams(std::uint32_t address) {
  const std::uint32_t block = (address >> 7) & 0xFFFFu;
  return {kSpiParam, static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block & 0xFF)};
}

ControllerChannel::ControllerChannel(DriveSource& drives, PollClock& clock, EventPump& pump)
    : drives_(drives), clock_(clock), pump_(pump) {}

ResultCode ControllerChannel::Query(unsigned drive, std::uint8_t code, Sector& answer) {
  if (relay_ != nullptr) return TakeRelayedAnswer(relay_->Query(drive, code, answer), answer);
  const std::uint32_t limit = code == QUERY_PROBE ? kProbePollLimitMs : kCommandPollLimitMs;
  return SendFrameCommand(drive, Command{kGroupRead, code, QueryParams(), nullptr, limit}, answer);
}

ResultCode ControllerChannel::AtaIssue(unsigned drive, std::uint8_t ataCode, std::uint8_t member, Sector& answer) {
  if (relay_ != nullptr) {
    // The relay reads the whole page at once; the fetches that follow take it chunk by chunk.
    relayedPage_ = RelayedPage{drive, ataCode, member, false, {}};
    const ResultCode result = relay_->ReadMemberPage(drive, ataCode, member, relayedPage_.bytes);
    relayedPage_.valid = result == kResultOk;
    answer.fill(0);
    return record_.lastResult = result;
  }
  std::array<std::uint8_t, kFramePayloadSize> payload{};
  std::copy(std::begin(kFisTemplate), std::end(kFisTemplate), payload.begin());
  if (ataCode == ATA_IDENTIFY_DEVICE) {
    payload[kFisCommandOffset] = ATA_IDENTIFY_DEVICE;
    payload[kFisFeaturesOffset] = 0;
  } else {
    payload[kFisCommandOffset] = ATA_SMART;
    payload[kFisFeaturesOffset] = ataCode;
  }
  return SendFrameCommand(
      drive, Command{kGroupPayload, CMD_ATA_ISSUE, {ataCode, member, 0}, payload.data(), kAtaPollLimit}, answer);
}

ResultCode ControllerChannel::AtaFetch(unsigned drive, std::uint8_t ataCode, std::uint8_t member, std::uint8_t chunk,
                                       Sector& answer) {
  if (relay_ != nullptr) {
    const RelayedPage& page = relayedPage_;
    if (!page.valid || page.drive != drive || page.ataCode != ataCode || page.port != member || chunk < 1 ||
        chunk > kAtaChunkCount)
      return record_.lastResult = kResultNoAnswer;
    answer.fill(0);
    std::copy_n(page.bytes.begin() + (chunk - 1) * kResponseDataWindowSize, kResponseDataWindowSize,
                answer.begin() + kResponseDataWindowOffset);
    return record_.lastResult = kResultOk;
  }
  return SendFrameCommand(drive, Command{kGroupRead, CMD_ATA_FETCH, {ataCode, member, chunk}, nullptr, kAtaPollLimit},
                          answer);
}

ResultCode ControllerChannel::SpiRead(ScsiDevice& device, std::uint32_t address, std::uint8_t* out) {
  if (relay_ != nullptr) return record_.lastResult = kResultOpenFailed;
  const ResultCode result =
      Execute(device, Command{kGroupRead, CMD_SPI_READ, SpiParams(address), nullptr, kCommandPollLimitMs});
  if (result == kResultOk && record_.lastStatus == kStatusDone && out != nullptr) {
    std::copy_n(record_.answer.begin() + kResponseDataWindowOffset, kResponseDataWindowSize, out);
  }
  return result;
}

ResultCode ControllerChannel::SpiWrite(ScsiDevice& device, std::uint32_t address, const std::uint8_t* data) {
  if (relay_ != nullptr) return record_.lastResult = kResultOpenFailed;
  return Execute(device, Command{kGroupPayload, CMD_SPI_WRITE, SpiParams(address), data, kCommandPollLimitMs});
}

ResultCode ControllerChannel::SpiErase(ScsiDevice& device, std::uint32_t address) {
  if (relay_ != nullptr) return record_.lastResult = kResultOpenFailed;
  return Execute(device, Command{kGroupErase, CMD_SPI_ERASE, SpiParams(address), nullptr, kCommandPollLimitMs});
}

ResultCode ControllerChannel::SendFrameCommand(unsigned drive, const Command& command, Sector& answer) {
  const HoldAttempt held = drives_.HoldController(drive, kShortCommandHoldWaitMs);
  if (held.outcome == HoldAttempt::Outcome::Busy) {
    record_.busyHolder = held.holder;
    return record_.lastResult = kResultControllerBusy;
  }
  if (held.outcome == HoldAttempt::Outcome::Failed) return record_.lastResult = kResultOpenFailed;
  DeviceHandle device = OpenDrive(drives_, drive);
  if (!device) return record_.lastResult = kResultOpenFailed;
  const ResultCode result = Execute(*device, command);
  device.reset();  // closed before the caller sees the answer
  answer = record_.answer;
  return record_.lastResult = result;
}

ResultCode ControllerChannel::TakeRelayedAnswer(ResultCode result, const Sector& answer) {
  record_.answer = answer;
  if (const auto kind = MatchSignatures(answer)) {
    record_.controllerKind = *kind;
    record_.lastStatus = MapStatusByte(answer[kResponseStatusOffset]);
  }
  if (result == kResultControllerBusy) record_.busyHolder = "rode-rurd, the host's service";
  return record_.lastResult = result;
}

ResultCode ControllerChannel::Execute(ScsiDevice& device, const Command& command) {
  struct InFlight {
    unsigned& count;
    explicit InFlight(unsigned& c) : count(c) { ++count; }
    ~InFlight() { --count; }
  } inFlight(executing_);
  record_.frame = BuildCommandFrame(command.group, command.opcode, command.params, command.payload);
  record_.sequence = BuildLbaSequence(record_.frame);
  record_.polls = 0;
  if (!TransmitSequence(device)) return kResultSequenceReadFailed;
  const ResultCode waited = AwaitResponse(device, command.pollLimit);
  if (waited != kResultOk) return waited;
  return record_.lastStatus == kStatusDone ? kResultOk : record_.lastStatus;
}

bool ControllerChannel::TransmitSequence(ScsiDevice& device) {
  std::uint32_t previous = 0;
  for (std::size_t i = 0; i < record_.sequence.count; ++i) {
    const std::uint32_t lba = record_.sequence.lbas[i];
    // The controller counts reads, so two equal neighbours need a different read between them.
    if (lba == previous && !ReadSectors(device, kSeparatorLba, scratch_.data(), 1)) return false;
    if (!ReadSectors(device, lba, scratch_.data(), 1)) return false;
    previous = lba;
    pump_.pump();
  }
  return true;
}

ResultCode ControllerChannel::AwaitResponse(ScsiDevice& device, std::uint32_t limit) {
  const std::uint64_t start = clock_.nowMs();
  for (;;) {
    pump_.pump();
    ReadSectors(device, kSeparatorLba, scratch_.data(), 1);  // only keeps LBA 17 reads apart
    // A read the disk turns down with a check condition still counts as done but brings no data
    // (a USB bridge does so after a reset); the last command's answer must not be taken for it.
    record_.answer.fill(0);
    if (!ReadSectors(device, kResponseLba, record_.answer.data(), 1)) return kResultResponseReadFailed;
    ++record_.polls;
    if (const auto kind = MatchSignatures(record_.answer)) {
      record_.controllerKind = *kind;
      record_.lastStatus = MapStatusByte(record_.answer[kResponseStatusOffset]);
      clock_.sleepMs(kPollSleepMs);
      return kResultOk;
    }
    if (limit < kPollCountLimitBelow) {
      if (record_.polls > limit) break;
    } else {
      const std::uint64_t elapsedSeconds = (clock_.nowMs() - start) / 1000;
      if (elapsedSeconds > limit / 1000) break;
    }
    clock_.sleepMs(kPollSleepMs);
  }
  record_.lastStatus = kResultNoAnswer;
  return kResultNoAnswer;
}

}  // namespace rur
