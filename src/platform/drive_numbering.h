// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Physical drives are numbered 0, 1, 2, ...: the host's SCSI disks in kernel name order, or a
// scenario's drives when simulating. Every disk is counted; the device table reaches numbers
// 0..63.

#include "transport/scsi_device.h"

namespace rur {

constexpr unsigned kMaxPhysicalDrives = kDriveNumberLimit;

}  // namespace rur
