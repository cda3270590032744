// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/query_answers.h"

#include <algorithm>

#include "monitor/identify_block.h"

namespace rur {

std::uint64_t ReadBe(const std::uint8_t* at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | at[i];
  return value;
}

std::uint8_t ArrayModeFromAnswer(std::uint8_t answerMode) {
  switch (answerMode) {
    case 0: return kModeJbod;
    case 1: return kModeStriping;
    case 2: return kModeMirroring;
    default: return kModeBypass;
  }
}

namespace {

// The member's DriveFlags bit in the low nibble (HDD1 position).
std::uint8_t StateBit(std::uint8_t state) {
  switch (state) {
    case kStatePresent:
    case kStateRebuilding: return kHdd1Present;
    case kStateInserted: return kHdd1Inserted;
    case kStateFailed: return kHdd1Failed;
    default: return kHdd1Absent;
  }
}

bool InUse(std::uint8_t state) { return state == kStatePresent || state == kStateRebuilding || state == kStateFailed; }

struct MemberPlace {
  std::size_t serial, model, capacity, stateCode;
};
constexpr MemberPlace kHdd1Place{status_offset::kHdd1Serial, status_offset::kHdd1Model, status_offset::kHdd1Capacity,
                                 status_offset::kHdd1StateCode};
constexpr MemberPlace kHdd2Place{status_offset::kHdd2Serial, status_offset::kHdd2Model, status_offset::kHdd2Capacity,
                                 status_offset::kHdd2StateCode};

void CopyMember(const std::uint8_t* block, const MemberPlace& place, StatusRecord& record) {
  std::copy_n(block + members_answer::kModel, kModelLength, record.begin() + place.model);
  std::copy_n(block + members_answer::kSerial, kSerialLength, record.begin() + place.serial);
  WriteLe(record.data() + place.capacity, 6, ReadBe(block + members_answer::kCapacity, 6));
}

void BlankMember(const MemberPlace& place, StatusRecord& record) {
  std::fill_n(record.begin() + place.model, kModelLength, ' ');
  std::fill_n(record.begin() + place.serial, kSerialLength, ' ');
  std::fill_n(record.begin() + place.capacity, 6, 0);
}

}  // namespace

std::uint8_t DriveFlagsOf(std::uint8_t hdd1State, std::uint8_t hdd2State) {
  return static_cast<std::uint8_t>(StateBit(hdd1State) | (StateBit(hdd2State) << 4));
}

std::uint8_t ActivityFlagsOf(std::uint8_t hdd1State, std::uint8_t hdd2State) {
  return static_cast<std::uint8_t>((hdd1State == kStateRebuilding ? kHdd1Rebuilding : 0) |
                                   (hdd2State == kStateRebuilding ? kHdd2Rebuilding : 0));
}

void DecodeMembersAnswer(const Sector& answer, bool blockAIsHdd1, RecordFill fill, bool knownDrive,
                         StatusRecord& record) {
  const std::uint8_t* blockA = answer.data() + members_answer::kBlockA;
  const std::uint8_t* blockB = answer.data() + members_answer::kBlockB;
  const std::uint8_t* hdd1 = blockAIsHdd1 ? blockA : blockB;
  const std::uint8_t* hdd2 = blockAIsHdd1 ? blockB : blockA;
  const std::uint8_t s1 = hdd1[members_answer::kState];
  const std::uint8_t s2 = hdd2[members_answer::kState];

  record[status_offset::kArrayMode] = ArrayModeFromAnswer(answer[members_answer::kMode]);
  record[status_offset::kHdd1StateCode] = s1;
  record[status_offset::kHdd2StateCode] = s2;
  const std::pair<const std::uint8_t*, const MemberPlace*> members[] = {{hdd1, &kHdd1Place}, {hdd2, &kHdd2Place}};
  for (const auto& [block, place] : members) {
    const std::uint8_t state = block[members_answer::kState];
    if (fill == RecordFill::Detection) {
      if (InUse(state)) {
        CopyMember(block, *place, record);
      } else if (!knownDrive) {
        BlankMember(*place, record);
      }
    } else if (StateBit(state) != kHdd1Absent) {
      CopyMember(block, *place, record);
    }
  }
  record[status_offset::kDriveFlags] = DriveFlagsOf(s1, s2);
  record[status_offset::kActivityFlags] = ActivityFlagsOf(s1, s2);
}

std::uint8_t ProgressPercent(std::uint64_t position, std::uint64_t size) {
  if (size == 0) return 0;
  // A position past the size is a controller's slip; a percent above 100 would wrap in one byte.
  return static_cast<std::uint8_t>(std::min<std::uint64_t>(position * 100 / size, 100));
}

std::optional<std::uint8_t> RebuildProgress(const Sector& answer) {
  if (answer[rebuild_answer::kRunning] != rebuild_answer::kRunningValue) return std::nullopt;
  return ProgressPercent(ReadBe(answer.data() + rebuild_answer::kPosition, 5),
                         ReadBe(answer.data() + rebuild_answer::kSize, 6));
}

void CopySensorReadings(const std::uint8_t* identity, StatusRecord& record) {
  record[status_offset::kFanSpeed] = identity[identify_offset::kFanSpeedLow];
  record[status_offset::kFanSpeed + 1] = identity[identify_offset::kFanSpeedHigh];
  record[status_offset::kTemperature] = identity[identify_offset::kTemperature];
}

}  // namespace rur
