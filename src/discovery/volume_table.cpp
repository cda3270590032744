// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/volume_table.h"

#include <algorithm>

namespace rur {

std::vector<std::string> LogicalDriveList(const std::vector<MountedVolume>& volumes) {
  std::vector<std::string> names;
  for (const auto& volume : volumes) {
    if (names.size() >= kMaxLogicalDrives) break;
    names.push_back(volume.name);
  }
  return names;
}

VolumeTable BuildVolumeTable(const std::vector<MountedVolume>& volumes) {
  VolumeTable table;
  const auto names = LogicalDriveList(volumes);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (table.rows.size() >= kMaxVolumeRows) {
      table.truncated = true;
      break;
    }
    const MountedVolume& volume = volumes[i];
    table.rows.push_back(VolumeRow{volume.name, kDriveTypeFixed, static_cast<std::uint8_t>(volume.driveNumber),
                                   volume.startOffset, volume.length});
  }
  return table;
}

std::string VolumeNamesOfDrive(const VolumeTable& table, unsigned driveNumber) {
  std::string names;
  for (const auto& row : table.rows) {
    // Volume names are words ("sdb1"), not single letters: a blank keeps them apart.
    if (row.driveType != kDriveTypeFixed || row.diskNumber != driveNumber) continue;
    if (!names.empty()) names += ' ';
    names += row.name;
  }
  return names;
}

}  // namespace rur
