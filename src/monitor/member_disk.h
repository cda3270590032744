// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The disk in one bay as the enclosure's status record names it: whether the bay holds one, and
// its model and serial texts. Bays are numbered 0 (HDD1) and 1 (HDD2).

#include <string>

#include "monitor/status_record.h"

namespace rur {

struct MemberDiskName {
  std::string model;   // trimmed as the status page shows it
  std::string serial;  // without the blanks disks pad it with
};

// A disk sits in the bay: it is not absent and is present, inserted or failed.
bool BayHoldsDisk(const StatusRecord& record, unsigned bay);
// The bay's state by the drive flags: "absent", "present", "failed", "inserted", or "none" when
// no flag is set (the members were never read).
std::string MemberStateName(const StatusRecord& record, unsigned bay);
MemberDiskName MemberDiskOf(const StatusRecord& record, unsigned bay);
// "HDD1" or "HDD2".
std::string BayName(unsigned bay);

}  // namespace rur
