// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "discovery/volume_table.h"
#include "platform/host_volumes.h"

namespace rur {
namespace {

TEST(VolumeTable, KeepsTwentyRowsAndNamesADrivesVolumes) {
  std::vector<MountedVolume> volumes;
  for (unsigned i = 0; i < 21; ++i)
    volumes.push_back({"sd" + std::string(1, char('a' + i % 3)) + std::to_string(i), i % 3, 0, 0});
  const VolumeTable table = BuildVolumeTable(volumes);
  EXPECT_EQ(table.rows.size(), 20u);
  EXPECT_TRUE(table.truncated);
  EXPECT_EQ(VolumeNamesOfDrive(table, 1), "sdb1 sdb4 sdb7 sdb10 sdb13 sdb16 sdb19");
  EXPECT_EQ(LogicalDriveList(std::vector<MountedVolume>(30, MountedVolume{"x", 0, 0, 0})).size(), 24u);
  EXPECT_FALSE(BuildVolumeTable({{"sdb1", 1, 1048576, 4096}}).truncated);
}

TEST(HostVolumes, MountedPartitionsOfNumberedDisks) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("rur-volumes-" + std::to_string(::getpid()));
  fs::remove_all(root);
  for (const char* disk : {"sda", "sdb", "nvme0n1"}) fs::create_directories(root / "block" / disk);
  // sysfs: class/block/<part> links into its disk's folder, which marks it a partition.
  for (auto [disk, part] : {std::pair{"sdb", "sdb1"}, {"sda", "sda2"}, {"nvme0n1", "nvme0n1p1"}}) {
    fs::create_directories(root / "block" / disk / part);
    std::ofstream(root / "block" / disk / part / "partition") << "1";
    std::ofstream(root / "block" / disk / part / "start") << "2048";
    std::ofstream(root / "block" / disk / part / "size") << "4096";
    fs::create_directories(root / "class");
    fs::create_directory_symlink(root / "block" / disk / part, root / "class" / part);
  }
  std::ofstream(root / "mountinfo") << "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                    << "30 22 8:17 / /media/x rw shared:1 - vfat /dev/sdb1 rw\n"
                                    << "31 22 8:17 / /media/y rw - vfat /dev/sdb1 rw\n"
                                    << "32 22 259:1 / /home rw - ext4 /dev/nvme0n1p1 rw\n"
                                    << "33 22 0:5 / /proc rw - proc proc rw\n";
  const auto volumes =
      ListHostVolumes((root / "mountinfo").string(), (root / "class").string(), (root / "block").string());
  ASSERT_EQ(volumes.size(), 2u);
  EXPECT_EQ(volumes[0].name, "sda2");
  EXPECT_EQ(volumes[0].driveNumber, 0u);
  EXPECT_EQ(volumes[1].name, "sdb1");
  EXPECT_EQ(volumes[1].driveNumber, 1u);
  EXPECT_EQ(volumes[1].startOffset, 2048u * 512);
  EXPECT_EQ(volumes[1].length, 4096u * 512);
  fs::remove_all(root);
}

}  // namespace
}  // namespace rur
