// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The disk in one bay as the disk-health and bay memories name it: its model and serial texts.
// Bays are numbered 0 (HDD1) and 1 (HDD2). The bay's state is decoded with the rest of the status
// (monitor/enclosure_status.h).

#include <string>

namespace rur {

struct MemberDiskName {
  std::string model;   // trimmed as the status page shows it
  std::string serial;  // without the blanks disks pad it with
};

// "HDD1" or "HDD2".
std::string BayName(unsigned bay);

}  // namespace rur
