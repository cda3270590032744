// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/device_changes.h"

#include <algorithm>

#include "monitor/blocks_differ.h"
#include "transport/response_sector.h"

namespace rur {
namespace {

std::string Found(std::size_t index) { return "D" + std::to_string(index + 1) + " New Device was found."; }
std::string Removed(std::size_t index) { return "D" + std::to_string(index + 1) + " Device was removed."; }

struct ByteRange {
  std::size_t from, length;
};
// What identifies an enclosure: the signature pair (the controller kind), the firmware revision
// and product name detection copies into the block, and the answer's data window (product code,
// sensor presence, controller name, capacity)...
constexpr ByteRange kFirstSignature{kResponseFirstSignatureOffset, kSignatureSize};
constexpr ByteRange kSecondSignature{kResponseSecondSignatureOffset, kSignatureSize};
constexpr ByteRange kStoredFields{
    identify_offset::kFirmwareRevision,
    kResponseDataWindowOffset + kResponseDataWindowSize - identify_offset::kFirmwareRevision};
// ...apart from the live readings inside that window.
constexpr ByteRange kSensorReadings{identify_offset::kTemperature,
                                    identify_offset::kFanSpeedLow + 1 - identify_offset::kTemperature};

bool RangeEqual(const IdentifyBlock& a, const IdentifyBlock& b, std::size_t from, std::size_t to) {
  return BlocksDiffer(a.data() + from, b.data() + from, to - from) == 0;
}

}  // namespace

bool SameEnclosureIdentity(const IdentifyBlock& a, const IdentifyBlock& b) {
  for (const ByteRange& range : {kFirstSignature, kSecondSignature})
    if (!RangeEqual(a, b, range.from, range.from + range.length)) return false;
  const std::size_t end = kStoredFields.from + kStoredFields.length;
  return RangeEqual(a, b, kStoredFields.from, kSensorReadings.from) &&
         RangeEqual(a, b, kSensorReadings.from + kSensorReadings.length, end);
}

bool SameEnclosure(const KnownEnclosure& a, const KnownEnclosure& b) {
  return SameEnclosureIdentity(a.identity, b.identity) && (a.byId.empty() || b.byId.empty() || a.byId == b.byId);
}

std::vector<int> MatchEnclosures(const std::vector<KnownEnclosure>& oldDevices,
                                 const std::vector<KnownEnclosure>& newDevices) {
  std::vector<int> match(newDevices.size(), -1);
  std::vector<bool> taken(oldDevices.size(), false);
  auto pair = [&](bool sameDriveOnly) {
    for (std::size_t j = 0; j < newDevices.size(); ++j) {
      if (match[j] >= 0) continue;
      for (std::size_t k = 0; k < oldDevices.size(); ++k) {
        if (taken[k] || !SameEnclosure(oldDevices[k], newDevices[j])) continue;
        if (sameDriveOnly && oldDevices[k].drive != newDevices[j].drive) continue;
        match[j] = static_cast<int>(k);
        taken[k] = true;
        break;
      }
    }
  };
  pair(true);
  // Drive numbers follow the host's disk order, so an enclosure may move when another one leaves.
  pair(false);
  return match;
}

std::vector<DeviceChange> DetectDeviceChanges(const std::vector<KnownEnclosure>& oldDevices,
                                              const std::vector<KnownEnclosure>& newDevices) {
  std::vector<DeviceChange> changes;
  std::vector<int> match = MatchEnclosures(oldDevices, newDevices);
  std::vector<int> partner(oldDevices.size(), -1);
  for (std::size_t j = 0; j < match.size(); ++j) {
    if (match[j] < 0) continue;
    // One that came back is a removal and an arrival, however short its absence.
    if (oldDevices[static_cast<std::size_t>(match[j])].departed) {
      match[j] = -1;
      continue;
    }
    partner[static_cast<std::size_t>(match[j])] = static_cast<int>(j);
  }

  // In the order of the old list: the new enclosures that come before an old one's new place,
  // then the old one (when it is gone); the remaining new ones at the end.
  std::size_t nextNew = 0;
  auto foundUpTo = [&](std::size_t end) {
    for (; nextNew < end; ++nextNew)
      if (match[nextNew] < 0) changes.push_back({Found(nextNew), -1, static_cast<int>(nextNew)});
  };
  for (std::size_t k = 0; k < oldDevices.size(); ++k) {
    if (partner[k] < 0) {
      changes.push_back({Removed(k), static_cast<int>(k)});
      continue;
    }
    foundUpTo(static_cast<std::size_t>(partner[k]));
    nextNew = std::max(nextNew, static_cast<std::size_t>(partner[k]) + 1);
  }
  foundUpTo(newDevices.size());
  return changes;
}

}  // namespace rur
