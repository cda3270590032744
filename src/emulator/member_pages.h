// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The 512-byte pages a member disk returns to ATA commands run through the controller: IDENTIFY
// DEVICE data and the SMART data and threshold pages, each with the checksum byte that makes the
// page add up to zero.

#include "emulator/scenario.h"
#include "transport/scsi_device.h"

namespace rur::sim {

Sector BuildIdentifyPage(const MemberDisk& disk);
Sector BuildSmartDataPage(const MemberDisk& disk);
Sector BuildSmartThresholdPage(const MemberDisk& disk);

}  // namespace rur::sim
