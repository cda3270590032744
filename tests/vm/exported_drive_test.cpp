// SPDX-License-Identifier: GPL-3.0-or-later
// The block-device face of a simulated drive: the program's commands still work when every read
// travels as the byte range a block-device client asks for, ranges become the READ(10) requests
// a host would send, a disk image stands for the array's contents but never hides the answer
// sector, and writes are refused at the drive.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "emulator/disk_data.h"
#include "emulator/nbd/exported_drive.h"
#include "emulator/simulated_host.h"
#include "platform/user_interface.h"
#include "support/sim_scenarios.h"
#include "transport/command_frame.h"
#include "transport/commands.h"
#include "transport/controller_channel.h"
#include "transport/pass_through.h"

namespace rur {
namespace {

using sim::ExportedDrive;

std::uint32_t CdbLba(const std::array<std::uint8_t, 10>& cdb) {
  return (std::uint32_t{cdb[2]} << 24) | (std::uint32_t{cdb[3]} << 16) | (std::uint32_t{cdb[4]} << 8) | cdb[5];
}
std::uint32_t CdbCount(const std::array<std::uint8_t, 10>& cdb) { return (std::uint32_t{cdb[7]} << 8) | cdb[8]; }

// The program's side of the wire: each READ(10) goes out as the byte range a block-device client
// (the hypervisor) asks the server for.
class OverBlockDevice final : public ScsiDevice {
 public:
  explicit OverBlockDevice(ExportedDrive& drive) : drive_(drive) {}
  bool Execute(const ScsiRequest& request) override {
    if (request.cdb[0] != kOpRead10) return false;
    return drive_.Read(request.buffer, CdbCount(request.cdb) * kSectorSize,
                       std::uint64_t{CdbLba(request.cdb)} * kSectorSize);
  }

 private:
  ExportedDrive& drive_;
};

class ExportedDrives final : public DriveSource {
 public:
  explicit ExportedDrives(sim::SimulatedHost& host) : plain(host, 0), enclosure(host, 1) {}
  DeviceHandle OpenPhysicalDrive(unsigned number) override {
    if (number > 1) return nullptr;
    return std::make_unique<OverBlockDevice>(number == 0 ? plain : enclosure);
  }
  ExportedDrive plain;
  ExportedDrive enclosure;
};

struct TempFile {
  TempFile() : path(std::filesystem::temp_directory_path() / ("rur-exported-" + std::to_string(::getpid()))) {}
  ~TempFile() { std::filesystem::remove(path); }
  void Write(const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::filesystem::path path;
};

struct ExportRig {
  explicit ExportRig(sim::Scenario scenario = test::ScenarioOf({test::PlainDisk(0), test::EnclosureDrive(1)}))
      : host(std::move(scenario), clock), drives(host), channel(drives, clock, ui) {}
  VirtualClock clock{LocalDateTime{2026, 3, 14, 9, 0, 0}};
  sim::SimulatedHost host;
  ExportedDrives drives;
  Ui ui;
  ControllerChannel channel;
  Sector answer{};
};

Sector DiskData(std::uint32_t lba) {
  Sector sector{};
  sim::FillDiskData(lba, sector.data());
  return sector;
}

TEST(ExportedDrive, CommandsReachTheControllerThroughAnImageThatCoversTheAnswerSector) {
  ExportRig rig;
  TempFile image;
  image.Write(std::vector<std::uint8_t>(64 * kSectorSize, 0xAA));  // a file system's first blocks, say
  std::string error;
  ASSERT_TRUE(rig.drives.enclosure.setDiskImage(image.path.string(), error)) << error;

  EXPECT_EQ(rig.channel.Query(1, QUERY_MEMBERS, rig.answer), kResultOk);
  EXPECT_EQ(std::memcmp(rig.answer.data(), "__KELVARO4417C__", 16), 0);
  std::uint8_t block[128];
  OverBlockDevice device(rig.drives.enclosure);
  EXPECT_EQ(rig.channel.SpiRead(device, 0x80, block), kResultOk);
  EXPECT_EQ(std::memcmp(block, "QOVA", 4), 0);
  // A plain disk never answers: the wait runs out.
  EXPECT_EQ(rig.channel.Query(0, QUERY_PROBE, rig.answer), kResultNoAnswer);
  EXPECT_EQ(rig.host.refusedRequests(), 0u);
}

TEST(ExportedDrive, ImageStandsForTheDiskExceptTheAnswerSector) {
  ExportRig rig;
  TempFile image;
  std::vector<std::uint8_t> bytes(20 * kSectorSize + 256);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i / kSectorSize + 1);
  image.Write(bytes);
  std::string error;
  ASSERT_TRUE(rig.drives.enclosure.setDiskImage(image.path.string(), error)) << error;

  std::vector<std::uint8_t> read(24 * kSectorSize);
  ASSERT_TRUE(rig.drives.enclosure.Read(read.data(), static_cast<std::uint32_t>(read.size()), 0));
  auto sector = [&](std::uint32_t lba) { return read.data() + lba * kSectorSize; };
  EXPECT_EQ(sector(0)[0], 1);
  EXPECT_EQ(sector(16)[511], 17);
  EXPECT_EQ(std::memcmp(sector(17), DiskData(17).data(), kSectorSize), 0) << "the answer sector is the controller's";
  EXPECT_EQ(sector(20)[255], 21);
  EXPECT_EQ(sector(20)[256], 0) << "the image's last, short sector ends in zeros";
  EXPECT_EQ(std::memcmp(sector(21), DiskData(21).data(), kSectorSize), 0);

  EXPECT_FALSE(rig.drives.plain.setDiskImage("/nonexistent/disk.img", error));
  EXPECT_NE(error.find("/nonexistent/disk.img"), std::string::npos);
}

TEST(ExportedDrive, RangesBecomeTheReadsAHostWouldSend) {
  struct Case {
    std::uint64_t offset;
    std::uint32_t length;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reads;  // lba, sectors
  };
  const Case cases[] = {
      {17 * 512, 512, {{17, 1}}},
      {0, 4096, {{0, 8}}},                              // a partition scan: one request, not eight
      {1000, 100, {{1, 2}}},                            // inside two sectors
      {0, 0x10000u * 512, {{0, 0xFFFF}, {0xFFFF, 1}}},  // longer than one READ(10) can carry
  };
  for (const Case& c : cases) {
    ExportRig rig;
    std::vector<std::uint8_t> out(c.length);
    ASSERT_TRUE(rig.drives.enclosure.Read(out.data(), c.length, c.offset)) << c.offset;
    const auto& requests = rig.host.requests();
    ASSERT_EQ(requests.size(), c.reads.size()) << c.offset;
    for (std::size_t i = 0; i < requests.size(); ++i) {
      EXPECT_EQ(requests[i].cdb[0], kOpRead10);
      EXPECT_EQ(CdbLba(requests[i].cdb), c.reads[i].first) << c.offset;
      EXPECT_EQ(CdbCount(requests[i].cdb), c.reads[i].second) << c.offset;
    }
  }
  // A range inside sectors carries the same bytes as the whole sectors.
  ExportRig rig;
  std::vector<std::uint8_t> part(100);
  ASSERT_TRUE(rig.drives.plain.Read(part.data(), 100, 1000));
  EXPECT_EQ(std::memcmp(part.data(), DiskData(1).data() + 488, 24), 0);
  EXPECT_EQ(std::memcmp(part.data() + 24, DiskData(2).data(), 76), 0);
}

TEST(ExportedDrive, WritesAreRefusedAndReadsFailWhereThereIsNoDisk) {
  auto unplugged = test::EnclosureDrive(2);
  unplugged.plugged = false;
  ExportRig rig(test::ScenarioOf({test::PlainDisk(0), test::EnclosureDrive(1), unplugged}));
  ExportedDrive& drive = rig.drives.enclosure;

  EXPECT_FALSE(drive.Write(4096, 0));
  EXPECT_EQ(rig.host.refusedRequests(), 1u) << "the drive saw the write and refused it";
  EXPECT_EQ(drive.counters().refusedWrites, 1u);

  Sector sector{};
  EXPECT_TRUE(drive.Read(sector.data(), kSectorSize, drive.sizeBytes() - kSectorSize));
  EXPECT_FALSE(drive.Read(sector.data(), kSectorSize, drive.sizeBytes()));
  EXPECT_FALSE(drive.Read(sector.data(), 2 * kSectorSize, drive.sizeBytes() - kSectorSize));

  ExportedDrive gone(rig.host, 2);
  EXPECT_FALSE(gone.Read(sector.data(), kSectorSize, 0));
  EXPECT_EQ(gone.counters().failedReads, 1u);
}

}  // namespace
}  // namespace rur
