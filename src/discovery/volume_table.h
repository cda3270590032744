// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's volumes and the physical drive each lives on, so a device's volumes can be named
// next to it.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/mounted_volume.h"

namespace rur {

constexpr unsigned kMaxLogicalDrives = 24;
constexpr unsigned kMaxVolumeRows = 20;
constexpr std::uint8_t kDriveTypeFixed = 3;

struct VolumeRow {
  std::string name;
  std::uint8_t driveType = kDriveTypeFixed;
  std::uint8_t diskNumber = 0;
  std::uint64_t startOffset = 0;
  std::uint64_t length = 0;
};

struct VolumeTable {
  std::vector<VolumeRow> rows;
  bool truncated = false;  // more volumes than rows: the user is told
};

// The logical drive list: volume names in order, at most 24.
std::vector<std::string> LogicalDriveList(const std::vector<MountedVolume>& volumes);
VolumeTable BuildVolumeTable(const std::vector<MountedVolume>& volumes);
// The names of the fixed volumes on a drive, in table order, joined without separator.
std::string VolumeNamesOfDrive(const VolumeTable& table, unsigned driveNumber);

}  // namespace rur
