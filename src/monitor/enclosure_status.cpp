// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/enclosure_status.h"

#include "monitor/ata_text.h"
#include "monitor/capacity_text.h"
#include "monitor/device_names.h"
#include "monitor/mode_names.h"
#include "monitor/query_answers.h"

namespace rur {
namespace {

constexpr std::size_t kCapacityWidth = 5;  // written as 48 bits, read as 40
constexpr std::uint8_t kSensorValidityMask = 0xF0;

struct MemberFields {
  std::size_t stateCode, model, serial, capacity;
  std::uint8_t rebuilding;
  unsigned flagShift;
};
constexpr MemberFields kMemberFields[2] = {
    {status_offset::kHdd1StateCode, status_offset::kHdd1Model, status_offset::kHdd1Serial, status_offset::kHdd1Capacity,
     kHdd1Rebuilding, 0},
    {status_offset::kHdd2StateCode, status_offset::kHdd2Model, status_offset::kHdd2Serial, status_offset::kHdd2Capacity,
     kHdd2Rebuilding, 4},
};

MemberState StateOf(std::uint8_t driveFlags, std::uint8_t activityFlags, const MemberFields& fields) {
  const unsigned flags = driveFlags >> fields.flagShift;
  if (flags & kHdd1Absent) return MemberState::Absent;
  if (flags & kHdd1Present) return (activityFlags & fields.rebuilding) ? MemberState::Rebuilding : MemberState::Present;
  if (flags & kHdd1Failed) return MemberState::Failed;
  if (flags & kHdd1Inserted) return MemberState::Inserted;
  return MemberState::Absent;
}

MemberStatus MemberOf(const StatusRecord& record, const MemberFields& fields) {
  MemberStatus member;
  member.state = StateOf(record[status_offset::kDriveFlags], record[status_offset::kActivityFlags], fields);
  member.stateCode = record[fields.stateCode];
  member.model = TrimModelText(AtaStringToText(record.data() + fields.model, kModelLength));
  member.serial = AtaStringToText(record.data() + fields.serial, kSerialLength);
  member.serialKey = AtaSerialKey(record.data() + fields.serial, kSerialLength);
  member.capacitySectors = ReadLe(record.data() + fields.capacity, kCapacityWidth);
  return member;
}

}  // namespace

std::string_view MemberStateWord(MemberState state) {
  switch (state) {
    case MemberState::Present: return "present";
    case MemberState::Rebuilding: return "rebuilding";
    case MemberState::Inserted: return "inserted";
    case MemberState::Failed: return "failed";
    case MemberState::Absent: return "absent";
  }
  return "absent";
}

EnclosureStatus DecodeEnclosureStatus(const StatusRecord& record, const IdentifyBlock& identity,
                                      const RecordFacts& facts) {
  EnclosureStatus status;
  status.product = DeviceProductName(identity);
  status.firmware = FirmwareRevisionText(identity);
  status.firmwareValid = facts.firmwareValid;
  status.reportsSensors = facts.hasSensor;
  status.driveFlags = record[status_offset::kDriveFlags];
  status.activityFlags = record[status_offset::kActivityFlags];
  if (facts.membersRead) {
    EnclosureStatus::Array array;
    array.mode = record[status_offset::kArrayMode];
    for (unsigned bay = 0; bay < 2; ++bay) array.members[bay] = MemberOf(record, kMemberFields[bay]);
    status.array = std::move(array);
    if (status.activityFlags & (kHdd1Rebuilding | kHdd2Rebuilding)) {
      status.rebuildingBay = (status.activityFlags & kHdd1Rebuilding) ? 0u : 1u;
      status.rebuildPercent = record[status_offset::kActivityProgress];
    }
  }
  if (facts.capacityRead)
    status.capacitySectors = ReadLe(record.data() + status_offset::kArrayCapacity, kCapacityWidth);
  const std::uint8_t environment = record[status_offset::kEnvironmentFlags];
  if (facts.hasSensor && (environment & kSensorValidityMask) == kSensorsValid) {
    SensorReadings readings;
    readings.fanRpm = static_cast<unsigned>(ReadLe(record.data() + status_offset::kFanSpeed, 2));
    readings.temperatureC = record[status_offset::kTemperature];
    readings.fanFailure = (environment & kFanFailure) != 0;
    readings.overTemperature = (environment & kOverTemperature) != 0;
    constexpr std::uint8_t kAllAlarmsPattern = 0xAA;
    readings.shownOnPage = environment != kAllAlarmsPattern;
    status.sensors = readings;
  }
  return status;
}

std::string ModeTextOf(const EnclosureStatus& status) { return status.array ? ModeText(status.array->mode) : ""; }

std::string CapacityTextOf(const EnclosureStatus& status) {
  return status.capacitySectors ? CapacityText(*status.capacitySectors) : "";
}

bool SensorsShown(const EnclosureStatus& status, bool current) {
  return current && status.sensors && status.sensors->shownOnPage &&
         SensorDisplay(status.firmware, status.reportsSensors);
}

}  // namespace rur
