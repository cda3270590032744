// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Physical drives are numbered 0, 1, 2, ...: the host's SCSI disks in kernel name order, or a
// scenario's drives when simulating. Every disk is counted; the device table reaches numbers
// 0..63.

#include <cstdint>

#include "transport/scsi_device.h"

namespace rur {

constexpr unsigned kMaxPhysicalDrives = kDriveNumberLimit;

// A set of positions in the device list, one bit each: an enclosure per drive at most.
using DeviceMask = std::uint64_t;
static_assert(sizeof(DeviceMask) * 8 >= kMaxPhysicalDrives);
constexpr DeviceMask DeviceBit(unsigned position) { return DeviceMask{1} << position; }

}  // namespace rur
