// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One SMART pass: the data pages (D0h) or threshold pages (D1h) of every bay of the first two
// enclosures, fetched through the controller's ATA pass-through into the SmartStore.

#include <cstdint>
#include <span>
#include <vector>

#include "discovery/device_table.h"
#include "monitor/status_record.h"
#include "smart/smart_state.h"
#include "transport/controller_channel.h"

namespace rur {

// An enclosure to read, in device-table order (its position is its store slot).
struct SmartEnclosure {
  unsigned drive = 0;           // physical drive number
  std::uint8_t driveFlags = 0;  // DriveFlags of its StatusRecord: which bays hold a disk
  bool memberOrder = false;     // set: bay j sits on controller port 1 - j
};

// The enclosures of the device table with their bay flags from the status records.
std::vector<SmartEnclosure> SmartEnclosures(const DeviceTable& devices, std::span<const StatusRecord> records);

constexpr unsigned kSmartAttempts = 4;

// The controller port that serves a bay.
constexpr std::uint8_t SmartPort(unsigned bay, bool memberOrder) {
  return static_cast<std::uint8_t>(memberOrder ? 1 - bay : bay);
}

// Reads pages of `kind` (SMART_READ_DATA or SMART_READ_THRESHOLDS) for the enclosures the caller
// may read now (none while a firmware upgrade holds the controller). Enclosures past the two
// store slots are not read. Returns 1 when a pass ran, 0 when there was nothing to read.
// A data pass leaves evaluation to the caller (when the SMART page is the current page).
int ReadSmartPages(std::uint8_t kind, ControllerChannel& channel, std::span<const SmartEnclosure> enclosures,
                   SmartState& state);

// Issues the ATA command `kind` on one controller port and fetches its four chunks into the page.
// A chunk that cannot be fetched keeps its previous bytes. False when any series of attempts was
// given up (the channel's record tells a busy controller).
bool ReadMemberPage(ControllerChannel& channel, unsigned drive, std::uint8_t kind, std::uint8_t port, SmartPage& page);

// Reads the threshold and data pages of one bay that holds a disk now, outside the passes (the
// source of a rebuild that just started). False when either page was not read whole.
bool ReadBayPagesNow(ControllerChannel& channel, const SmartEnclosure& enclosure, unsigned bay, SmartBayPages& pages);

}  // namespace rur
