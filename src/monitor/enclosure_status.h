// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One enclosure's status as typed values, decoded once from its status record and identity block.
// Everything above the monitor (the engine, rurctl, the window, the metrics, the service) reads
// this and never the record's bytes. A fact that was never read is empty, never a zero.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/identify_block.h"
#include "monitor/status_record.h"

namespace rur {

enum class MemberState { Present, Rebuilding, Inserted, Failed, Absent };

// "present", "rebuilding", "inserted", "failed", "absent".
std::string_view MemberStateWord(MemberState state);

struct MemberStatus {
  MemberState state = MemberState::Absent;
  std::uint8_t stateCode = 0;  // as the controller reported it
  std::string model;           // trimmed as the status page shows it
  std::string serial;          // as the disk reports it, blanks included ('?' for what is not printable)
  std::string serialKey;       // the disk's identity in the memories kept per disk (AtaSerialKey)
  std::uint64_t capacitySectors = 0;
  // The bay holds a disk (present, being rebuilt, inserted or failed).
  bool holdsDisk() const { return state != MemberState::Absent; }
  // The disk takes part in the array (present or being rebuilt).
  bool inArray() const { return state == MemberState::Present || state == MemberState::Rebuilding; }
};

struct SensorReadings {
  unsigned fanRpm = 0;
  unsigned temperatureC = 0;
  bool fanFailure = false;       // the controller's own fan-failure flag
  bool overTemperature = false;  // the controller's own over-temperature flag
  bool shownOnPage = true;       // false for the flag pattern the status page never shows
};

struct EnclosureStatus {
  // From the identity: known from detection on.
  std::string product;
  std::string firmware;  // revision text as the pages show it
  bool firmwareValid = true;
  bool reportsSensors = false;  // the controller has a fan and a thermometer

  // From the members answer: empty until it was read once.
  struct Array {
    std::uint8_t mode = kModeBypass;
    std::array<MemberStatus, 2> members;  // HDD1, HDD2
  };
  std::optional<Array> array;
  std::optional<std::uint64_t> capacitySectors;  // the array's, once read
  // The bay being rebuilt (0 or 1) and the percent done, while a rebuild runs.
  std::optional<unsigned> rebuildingBay;
  std::uint8_t rebuildPercent = 0;
  std::optional<SensorReadings> sensors;  // while the controller reports valid readings

  // The raw flag bytes, for the JSON output that has always carried them.
  std::uint8_t driveFlags = 0;
  std::uint8_t activityFlags = 0;

  bool membersKnown() const { return array.has_value(); }
  const MemberStatus* member(unsigned bay) const { return array && bay < 2 ? &array->members[bay] : nullptr; }
};

// What was read into the record so far (the record itself cannot tell a zero from nothing).
struct RecordFacts {
  bool membersRead = false;
  bool capacityRead = false;
  bool hasSensor = false;
  bool firmwareValid = true;
};

EnclosureStatus DecodeEnclosureStatus(const StatusRecord& record, const IdentifyBlock& identity,
                                      const RecordFacts& facts);

// "Striping(RAID0)" ... as ModeText; "" while the members were never read.
std::string ModeTextOf(const EnclosureStatus& status);
// The array's capacity as the status page shows it ("931 GB"); "" while it was never read.
std::string CapacityTextOf(const EnclosureStatus& status);
// Whether the status page shows fan and temperature for this enclosure now.
bool SensorsShown(const EnclosureStatus& status, bool current);

}  // namespace rur
