// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decoding the controller's status answers into the StatusRecord. Numbers in answers are most
// significant byte first; the record keeps them least significant byte first.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "monitor/status_record.h"
#include "transport/scsi_device.h"

namespace rur {

// The pause between two queries to one controller.
constexpr std::uint64_t kQueryGapMs = 200;

namespace members_answer {
constexpr std::size_t kMode = 80;
constexpr std::size_t kBlockA = 84;
constexpr std::size_t kBlockB = 160;
constexpr std::size_t kBlockSize = 76;
// Offsets inside a member block.
constexpr std::size_t kState = 0;
constexpr std::size_t kModel = 4;
constexpr std::size_t kSerial = 44;
constexpr std::size_t kCapacity = 70;  // 48 bits
}  // namespace members_answer

namespace rebuild_answer {
constexpr std::size_t kRunning = 84;
constexpr std::uint8_t kRunningValue = 2;
constexpr std::size_t kSize = 94;       // 48 bits
constexpr std::size_t kPosition = 119;  // 40 bits
}  // namespace rebuild_answer

// Raw member state codes.
constexpr std::uint8_t kStatePresent = 0;
constexpr std::uint8_t kStateRebuilding = 1;
constexpr std::uint8_t kStateInserted = 6;
constexpr std::uint8_t kStateFailed = 9;

std::uint64_t ReadBe(const std::uint8_t* at, std::size_t width);

std::uint8_t ArrayModeFromAnswer(std::uint8_t answerMode);
std::uint8_t DriveFlagsOf(std::uint8_t hdd1State, std::uint8_t hdd2State);
std::uint8_t ActivityFlagsOf(std::uint8_t hdd1State, std::uint8_t hdd2State);

enum class RecordFill {
  Detection,  // models and serials of members not in use are blanked (unless already known for this drive)
  Refresh,    // only absent members keep their previous model, serial and capacity
};

// Writes mode, member states, models, serials, capacities, DriveFlags and ActivityFlags.
// blockAIsHdd1: the identity's member-order bit; knownDrive: the record already belonged to this drive.
void DecodeMembersAnswer(const Sector& answer, bool blockAIsHdd1, RecordFill fill, bool knownDrive,
                         StatusRecord& record);

// Percent done of a running rebuild, or nothing when the answer says no rebuild runs.
// A size of 0 gives 0 rather than a division by zero.
std::optional<std::uint8_t> RebuildProgress(const Sector& answer);
std::uint8_t ProgressPercent(std::uint64_t position, std::uint64_t size);

// Fan speed and temperature from an identity answer into record bytes 349..351.
void CopySensorReadings(const std::uint8_t* identity, StatusRecord& record);

}  // namespace rur
