// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Physical drives are numbered 0, 1, 2, ...: the host's SCSI disks in kernel name order, or a
// scenario's drives when simulating. Numbers 0..9 are tried when looking for enclosures.

namespace rur {

constexpr unsigned kMaxPhysicalDrives = 10;

}  // namespace rur
