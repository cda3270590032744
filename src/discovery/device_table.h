// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The enclosures found among the physical drives. An entry is one byte: the drive number in bits
// 0..5 and 0x40 for an accepted enclosure. Devices are numbered by their position here
// ("Device1", "Device2"); per-position facts from identification travel with the entries.

#include <array>
#include <cstdint>

#include "platform/drive_numbering.h"
#include "transport/response_sector.h"

namespace rur {

using DeviceEntry = std::uint8_t;
constexpr DeviceEntry kEntryAccepted = 0x40;
constexpr DeviceEntry kEntryDriveMask = 0x3F;  // drive numbers 0..63
// Every enclosure found has a position: one per drive number at most.
constexpr unsigned kMaxDevices = kMaxPhysicalDrives;
// "No device" for UpgradeTarget and similar indexes.
constexpr std::uint32_t kNoDevice = 256;

constexpr unsigned DriveOf(DeviceEntry entry) { return entry & kEntryDriveMask; }

// What identification reads from the head of the controller's flash.
struct FlashHead {
  std::uint8_t productType = 0;  // byte 0x95 (FirmwareType); FFh when the flash is erased
  bool validImage = true;        // the signature and GUID of a firmware image are in place
};

// What identification learnt about the enclosure at one position of the table.
struct DevicePosition {
  ControllerKind controllerKind = ControllerKind::Raid;
  std::uint8_t productType = 0;  // byte 0x95 of the controller's flash (FirmwareType)
  // False when the flash does not begin with a valid image (erased, or an upgrade cut short).
  bool firmwareValid = true;
  bool hasName = false;      // the controller supplied a product name
  bool hasSensor = false;    // the controller reports fan speed and temperature
  bool memberOrder = false;  // set: SMART port of bay j is 1 - j
  bool rebuildRunning = false;
  std::uint8_t failureCounter = 0;  // refresh failures
  bool membersKnown = false;        // detection read the members answer
  bool capacityKnown = false;       // detection read the array's capacity
};

struct DeviceTable {
  std::array<DeviceEntry, kMaxDevices> current{};
  unsigned currentCount = 0;
  std::array<DevicePosition, kMaxDevices> currentInfo{};
  std::array<DeviceEntry, kMaxDevices> fresh{};  // written by a probe pass
  unsigned freshCount = 0;
  std::array<DevicePosition, kMaxDevices> freshInfo{};
  DeviceEntry probed = 0;  // the drive being probed: target of commands while detection runs
  unsigned selected = 0;   // the device the status page shows, kept below currentCount
  unsigned active = 0;     // the device commands go to (the refresh walks the devices with it)
};

}  // namespace rur
