// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "firmware/spi_flash.h"
#include "firmware_test_support.h"
#include "simulated_flash_drives.h"
#include "support/recording_ui.h"

namespace rur {
namespace {

constexpr unsigned kDrive = 3;

struct SpiFlashTest : ::testing::Test {
  VirtualClock clock;
  test::SimulatedFlashDrives drives{kDrive, clock};
  test::RecordingUi ui;
  ControllerChannel channel{drives, clock, ui};
  DeviceTable devices;
  UpgradeState state;
  SpiFlash flash{channel, devices, state, ui};

  SpiFlashTest() {
    devices.current[0] = kEntryAccepted | kDrive;
    devices.currentCount = 1;
    state.UpgradeTarget = 0;
  }
};

TEST_F(SpiFlashTest, RangesWalkWholeBlocksAndCountProgress) {
  struct Case {
    std::uint8_t opcode;
    std::uint32_t address, length;
    std::uint32_t blocks;
  } cases[] = {{CMD_SPI_READ, 0, 256, 2},      {CMD_SPI_READ, 0, 200, 2},       {CMD_SPI_READ, 0, 0, 0},
               {CMD_SPI_WRITE, 0x100, 384, 3}, {CMD_SPI_ERASE, 0, 0x12000, 18}, {CMD_SPI_ERASE, 0, 0x12001, 19}};
  std::vector<std::uint8_t> buffer(0x200, 0xEE);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.opcode) << " length " << c.length);
    drives.commands.clear();
    state.ProgressCount = 5;
    const bool ok = c.opcode == CMD_SPI_READ    ? flash.ReadSPI(c.address, c.length, buffer.data())
                    : c.opcode == CMD_SPI_WRITE ? flash.WriteSPI(c.address, c.length, buffer.data())
                                                : flash.EraseSPI(c.address, c.length);
    EXPECT_TRUE(ok);
    ASSERT_EQ(drives.commands.size(), c.blocks);
    const std::uint32_t step = c.opcode == CMD_SPI_ERASE ? 4096 : 128;
    for (std::uint32_t k = 0; k < c.blocks; ++k)
      EXPECT_EQ(drives.commands[k], (test::SpiCommandSeen{c.opcode, c.address + k * step}));
    EXPECT_EQ(state.ProgressCount.load(), 5 + static_cast<int>(c.blocks));
  }
  EXPECT_EQ(drives.openHandles, 0);
  EXPECT_EQ(drives.controller().badCrcFrames(), 0u);
}

TEST_F(SpiFlashTest, DeviceChecksComeBeforeAnyCommand) {
  struct Case {
    unsigned count;
    std::uint32_t target;
    const char* panel;
    const char* box;
  } cases[] = {{0, 0, "Device not found!!!", "No Device found !"},
               {1, kNoDevice, "No Upgrade Mode!!!", "No Upgrade Mode !"},
               {1, 1, "No Upgrade Mode!!!", "No Upgrade Mode !"}};
  std::uint8_t block[128] = {};
  for (const Case& c : cases) {
    devices.currentCount = c.count;
    state.UpgradeTarget = c.target;
    ui.boxes.clear();
    EXPECT_FALSE(flash.WriteSPI(0, 128, block));
    EXPECT_FALSE(flash.EraseSPI(0, 4096));
    EXPECT_EQ(ui.panels[4], c.panel);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, c.box);
    EXPECT_EQ(ui.boxes[0].caption, "Message");
  }
  EXPECT_EQ(drives.opens, 0);

  devices.currentCount = 1;
  state.UpgradeTarget = 0;
  devices.current[0] = kEntryAccepted | 5;  // no such drive
  EXPECT_FALSE(flash.EraseSPI(0, 4096));
  EXPECT_EQ(ui.boxes.back().text, "Invalid Drive");
  EXPECT_TRUE(drives.commands.empty());
}

TEST_F(SpiFlashTest, DetectionReadsTheFirmwareTypeOfTheProbedDrive) {
  // A flash without an image's signature (the factory flash of the simulator holds one).
  for (std::uint32_t at = 0; at < 256; ++at) drives.flash().set(at, 0xFF);
  drives.flash().set(0x95, 0x21);
  devices.currentCount = 0;
  state.UpgradeTarget = kNoDevice;
  auto head = flash.ReadFlashHead(kDrive);
  ASSERT_TRUE(head.has_value());
  EXPECT_EQ(head->productType, 0x21);
  EXPECT_FALSE(head->validImage);  // no signature or GUID in this flash
  EXPECT_EQ(drives.count(CMD_SPI_READ), 2u);

  const auto image = test::MakeImage({.length = 256, .firmwareType = 0x22});
  for (std::size_t i = 0; i < image.size(); ++i) drives.flash().set(static_cast<std::uint32_t>(i), image[i]);
  head = flash.ReadFlashHead(kDrive);
  ASSERT_TRUE(head.has_value());
  EXPECT_EQ(head->productType, 0x22);
  EXPECT_TRUE(head->validImage);

  drives.Fail(sim::FaultCommand::SpiRead, 0x80, 9);
  EXPECT_EQ(flash.ReadFlashHead(kDrive), std::nullopt);
  EXPECT_EQ(ui.panels[4], "ReadSPI fail, Address = 0080");
}

TEST_F(SpiFlashTest, RangesPastTheReachableFlashAreRefused) {
  // Block numbers are 16 bits: a block at 8 MiB would land on block 0.
  std::uint8_t block[128] = {};
  EXPECT_FALSE(flash.EraseSPI(0x7FF000, 0x2000));
  EXPECT_FALSE(flash.WriteSPI(0x800000, 128, block));
  EXPECT_TRUE(drives.commands.empty());
  EXPECT_TRUE(flash.EraseSPI(0x7FF000, 0x1000));
}

}  // namespace
}  // namespace rur
