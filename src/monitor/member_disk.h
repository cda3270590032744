// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The disk in one bay as the disk-health and bay memories name it: its model text and serial key.
// Bays are numbered 0 (HDD1) and 1 (HDD2). The bay's state is decoded with the rest of the status
// (monitor/enclosure_status.h).

#include <string>

namespace rur {

struct MemberDiskName {
  std::string model;   // trimmed as the status page shows it
  std::string serial;  // the disk's identity: its serial without the blanks disks pad it with (AtaSerialKey)
};

// "HDD1" or "HDD2".
std::string BayName(unsigned bay);

}  // namespace rur
