// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scenarios built in code for engine tests: a plain disk and enclosures with chosen traits.

#include "emulator/scenario.h"

namespace rur::test {

inline sim::DriveSpec PlainDisk(unsigned number) {
  sim::DriveSpec drive;
  drive.number = number;
  drive.type = sim::DriveType::PlainDisk;
  drive.inquiry = {"ATA", "Samsung SSD 870", "1B6Q"};
  return drive;
}

inline sim::DriveSpec EnclosureDrive(unsigned number, std::uint8_t mode = sim::kArrayMirroring) {
  sim::DriveSpec drive;
  drive.number = number;
  drive.type = sim::DriveType::Enclosure;
  drive.inquiry = {"RODE", "Dual Bay RAID", "0100"};
  drive.volumes = {"sd" + std::string(1, static_cast<char>('a' + number)) + "1"};
  sim::EnclosureSpec& enclosure = drive.enclosure;
  enclosure.productName = "RODE Dual Bay RAID";
  enclosure.mode = mode;
  enclosure.members[0].disk = {"WDC WD10EZEX-08WN4A0", "WD-WCC6Y1234567", "01.01A01", 1953525168,
                               sim::DefaultSmartAttributes(38)};
  enclosure.members[1].disk = {"ST1000DM010-2EP102", "Z9A0B1C2", "CC46", 1953525168, sim::DefaultSmartAttributes(39)};
  return drive;
}

inline sim::Scenario ScenarioOf(std::vector<sim::DriveSpec> drives) {
  sim::Scenario scenario;
  scenario.name = "test";
  scenario.start = LocalDateTime{2026, 3, 14, 9, 0, 0};
  scenario.drives = std::move(drives);
  return scenario;
}

}  // namespace rur::test
