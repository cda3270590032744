// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/member_disk.h"

#include "monitor/ata_text.h"

namespace rur {

bool BayHoldsDisk(const StatusRecord& record, unsigned bay) {
  const unsigned shift = bay == 0 ? 0 : 4;
  const unsigned flags = record[status_offset::kDriveFlags] >> shift;
  if (flags & kHdd1Absent) return false;
  return (flags & (kHdd1Present | kHdd1Inserted | kHdd1Failed)) != 0;
}

std::string MemberStateName(const StatusRecord& record, unsigned bay) {
  const unsigned flags = record[status_offset::kDriveFlags] >> (bay == 0 ? 0 : 4);
  if (flags & kHdd1Absent) return "absent";
  if (flags & kHdd1Present) return "present";
  if (flags & kHdd1Failed) return "failed";
  if (flags & kHdd1Inserted) return "inserted";
  return "none";
}

MemberDiskName MemberDiskOf(const StatusRecord& record, unsigned bay) {
  const bool first = bay == 0;
  MemberDiskName disk;
  disk.model = TrimModelText(
      AtaStringToText(record.data() + (first ? status_offset::kHdd1Model : status_offset::kHdd2Model), kModelLength));
  const std::string serial =
      AtaStringToText(record.data() + (first ? status_offset::kHdd1Serial : status_offset::kHdd2Serial), kSerialLength);
  const std::size_t start = serial.find_first_not_of(' ');
  if (start != std::string::npos) disk.serial = serial.substr(start, serial.find_last_not_of(' ') - start + 1);
  return disk;
}

std::string BayName(unsigned bay) { return bay == 0 ? "HDD1" : "HDD2"; }

}  // namespace rur
