// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/host_drives.h"
#include "platform/sg_io_device.h"
#include "transport/pass_through.h"

namespace rur {
namespace {

TEST(PassThrough, ReadAndInquiryCdbs) {
  std::uint8_t buffer[512];
  const ScsiRequest read = MakeRead10Request(0x5FFF, buffer, 1);
  EXPECT_EQ(read.cdb, (std::array<std::uint8_t, 10>{0x28, 0, 0, 0, 0x5F, 0xFF, 0, 0, 1, 0}));
  EXPECT_EQ(read.transferLength, 512u);
  EXPECT_EQ(read.timeoutMs, 3000u * 1000u);
  EXPECT_EQ(read.buffer, buffer);

  const ScsiRequest wide = MakeRead10Request(0x12345678, buffer, 1);
  EXPECT_EQ(wide.cdb[2], 0x12);
  EXPECT_EQ(wide.cdb[5], 0x78);

  const ScsiRequest inquiry = MakeInquiryRequest(buffer);
  EXPECT_EQ(inquiry.cdb, (std::array<std::uint8_t, 10>{0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0}));
  EXPECT_EQ(inquiry.transferLength, 36u);
  EXPECT_EQ(inquiry.timeoutMs, 200u * 1000u);
}

class HostDrivesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() / ("rur-host-drives-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root_);
    for (const char* name : {"sdb", "loop0", "sdaa", "sda", "nvme0n1", "sdz", "sr0"})
      std::filesystem::create_directories(root_ / "sys" / name);
    std::filesystem::create_directories(root_ / "dev");
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  std::filesystem::path root_;
};

TEST_F(HostDrivesTest, NumbersScsiDisksInKernelNameOrder) {
  EXPECT_EQ(ListScsiDisks((root_ / "sys").string()), (std::vector<std::string>{"sda", "sdb", "sdz", "sdaa"}));
  HostDriveSource source((root_ / "sys").string(), (root_ / "dev").string());
  EXPECT_EQ(source.DrivePath(0), (root_ / "dev" / "sda").string());
  EXPECT_EQ(source.DrivePath(3), (root_ / "dev" / "sdaa").string());
  EXPECT_EQ(source.DrivePath(4), "");
  EXPECT_EQ(source.DrivePath(12), "");
}

TEST_F(HostDrivesTest, MissingDeviceOrFailingIoctlNeverCrashes) {
  HostDriveSource source((root_ / "sys").string(), (root_ / "dev").string());
  EXPECT_EQ(source.OpenPhysicalDrive(0), nullptr);  // listed in sysfs, no device node
  EXPECT_EQ(source.OpenPhysicalDrive(9), nullptr);  // no such drive at all
  EXPECT_EQ(HostDriveSource((root_ / "nothing").string()).OpenPhysicalDrive(0), nullptr);

  // A file that is not a SCSI device opens, but SG_IO on it fails: false, not a crash.
  std::ofstream((root_ / "dev" / "sda").string()) << "plain file";
  DeviceHandle device = source.OpenPhysicalDrive(0);
  ASSERT_NE(device, nullptr);
  std::uint8_t buffer[512];
  EXPECT_FALSE(ReadSectors(*device, 0, buffer, 1));
  EXPECT_FALSE(InquiryDevice(*device, buffer));
}

}  // namespace
}  // namespace rur
