// SPDX-License-Identifier: GPL-3.0-or-later
#include "smart/read_smart_pages.h"

#include <algorithm>

#include "transport/commands.h"

namespace rur {
namespace {

constexpr std::uint8_t kBayPresent[kSmartBays] = {kHdd1Present, kHdd2Present};

}  // namespace

bool ReadMemberPage(ControllerChannel& channel, unsigned drive, std::uint8_t kind, std::uint8_t port, SmartPage& page) {
  Sector answer{};
  bool issued = false;
  // Another process holding the controller will not let go within the attempts.
  for (unsigned attempt = 0; attempt < kSmartAttempts && !issued; ++attempt) {
    const ResultCode result = channel.AtaIssue(drive, kind, port, answer);
    issued = result == kResultOk;
    if (result == kResultControllerBusy) return false;
  }
  if (!issued) return false;

  bool complete = true;
  for (unsigned chunk = 1; chunk <= kAtaChunkCount; ++chunk) {
    bool fetched = false;
    for (unsigned attempt = 0; attempt < kSmartAttempts && !fetched; ++attempt)
      fetched = channel.AtaFetch(drive, kind, port, static_cast<std::uint8_t>(chunk), answer) == kResultOk;
    if (!fetched) {
      complete = false;
      continue;
    }
    std::copy_n(answer.begin() + kResponseDataWindowOffset, kResponseDataWindowSize,
                page.begin() + (chunk - 1) * kResponseDataWindowSize);
  }
  return complete;
}

bool ReadBayPagesNow(ControllerChannel& channel, const SmartEnclosure& enclosure, unsigned bay, SmartBayPages& pages) {
  const std::uint8_t port = SmartPort(bay, enclosure.memberOrder);
  const bool thresholds = ReadMemberPage(channel, enclosure.drive, SMART_READ_THRESHOLDS, port, pages.thresholds);
  pages.dataRead = ReadMemberPage(channel, enclosure.drive, SMART_READ_DATA, port, pages.data);
  return thresholds && pages.dataRead;
}

std::vector<SmartEnclosure> SmartEnclosures(const DeviceTable& devices, std::span<const StatusRecord> records) {
  std::vector<SmartEnclosure> enclosures;
  const unsigned count = std::min(devices.currentCount, kMaxDevices);
  for (unsigned position = 0; position < count; ++position) {
    const unsigned drive = DriveOf(devices.current[position]);
    const std::uint8_t flags = drive < records.size() ? records[drive][status_offset::kDriveFlags] : 0;
    enclosures.push_back({drive, flags, devices.currentInfo[position].memberOrder});
  }
  return enclosures;
}

int ReadSmartPages(std::uint8_t kind, ControllerChannel& channel, std::span<const SmartEnclosure> enclosures,
                   SmartState& state) {
  if (enclosures.empty()) return 0;
  const bool thresholds = kind == SMART_READ_THRESHOLDS;
  bool gaveUp = false;
  const std::size_t slots = std::min<std::size_t>(enclosures.size(), kSmartSlots);
  for (std::size_t slot = 0; slot < slots; ++slot) {
    const SmartEnclosure& enclosure = enclosures[slot];
    for (unsigned bay = 0; bay < kSmartBays; ++bay) {
      SmartBayPages& pages = state.store[slot][bay];
      SmartPage& page = thresholds ? pages.thresholds : pages.data;
      if ((enclosure.driveFlags & kBayPresent[bay]) == 0) {
        page.fill(0);  // an empty bay shows no attributes
        if (!thresholds) pages.dataRead = false;
        continue;
      }
      const bool whole = ReadMemberPage(channel, enclosure.drive, kind, SmartPort(bay, enclosure.memberOrder), page);
      if (!thresholds) pages.dataRead = whole;
      if (!whole) {
        gaveUp = true;
        if (channel.record().lastResult == kResultControllerBusy) break;  // the other bay waits too
      }
    }
  }
  // A data pass that failed is simply repeated a minute later; thresholds are re-read with every
  // data request until a threshold pass gets through whole.
  if (thresholds) state.thresholdsValid = !gaveUp;
  return 1;
}

}  // namespace rur
