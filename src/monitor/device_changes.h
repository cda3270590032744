// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which enclosures came and went between two detections, as lines for the event log, and which
// enclosure of the old list each one of the new list is, so what the program remembers per
// enclosure can follow it to its new position.

#include <string>
#include <vector>

#include "monitor/identify_block.h"

namespace rur {

// An enclosure as detection found it: its identity answer, the physical drive it sits on
// (negative when unknown) and the drive's stable name (empty when the host gives none).
struct KnownEnclosure {
  KnownEnclosure(const IdentifyBlock& block, int driveNumber = -1, std::string byIdName = {})
      : identity(block), drive(driveNumber), byId(std::move(byIdName)) {}
  IdentifyBlock identity;
  int drive = -1;
  std::string byId;
  // In the old list only: the host said this drive went away since then, so whatever answers on
  // it now came after, even the same enclosure back again.
  bool departed = false;
};

struct DeviceChange {
  std::string line;        // "D2 New Device was found." or "D1 Device was removed."
  int removedDevice = -1;  // the old device index whose removal raises an alarm
  int foundDevice = -1;    // the new device index of an enclosure that came
};

// Whether two identity answers describe the same enclosure. The answer also carries readings that
// change while the enclosure runs (fan speed and temperature), and bytes outside its signatures
// and data window that the protocol does not define; neither says anything about which enclosure
// answered, so both are left out.
bool SameEnclosureIdentity(const IdentifyBlock& a, const IdentifyBlock& b);

// Whether two enclosures are the same one: the same identity answer and, where the host names
// both drives, the same stable name (two enclosures of one model differ only in their bridge's serial).
bool SameEnclosure(const KnownEnclosure& a, const KnownEnclosure& b);

// For every new enclosure the index of the same enclosure in the old list, or -1 when it is new.
// Two identical enclosures are told apart by their drive, so one on the same drive is preferred.
// An enclosure that departed and came back is matched: what was known of it is compared with
// what it says now.
std::vector<int> MatchEnclosures(const std::vector<KnownEnclosure>& oldDevices,
                                 const std::vector<KnownEnclosure>& newDevices);

// Every enclosure of the old list that is not in the new one, or that departed meanwhile, is
// removed; every one of the new list that was not in the old one, or came back, is found.
std::vector<DeviceChange> DetectDeviceChanges(const std::vector<KnownEnclosure>& oldDevices,
                                              const std::vector<KnownEnclosure>& newDevices);

constexpr const char* kDeviceHadChangedLine = "    Device had changed.";

}  // namespace rur
