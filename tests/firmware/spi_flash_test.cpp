#include <gtest/gtest.h>

#include "firmware/firmware_image.h"
#include "firmware/spi_flash.h"
#include "firmware_test_support.h"
#include "nor_flash_device.h"

namespace rur {
namespace {

using test::NorFlashController;
using test::NorFlashDrives;
using test::RecordingUi;
using test::SpiCommandSeen;

constexpr unsigned kDrive = 3;

struct SpiFlashTest : ::testing::Test {
  NorFlashController controller;
  NorFlashDrives drives;
  VirtualClock clock;
  RecordingUi ui;
  ControllerChannel channel{drives, clock, ui};
  DeviceTable devices;
  UpgradeState state;
  bool detecting = false;
  SpiFlash flash{channel, devices, state, [this] { return detecting; }};

  SpiFlashTest() {
    drives.controllers[kDrive] = &controller;
    devices.current[0] = kEntryAccepted | kDrive;
    devices.currentCount = 1;
    state.UpgradeTarget = 0;
  }
};

TEST_F(SpiFlashTest, RangesWalkWholeBlocksAndCountProgress) {
  struct Case {
    const char* what;
    std::uint8_t opcode;
    std::uint32_t address, length;
    std::size_t commands;
  } cases[] = {
      {"read two blocks", CMD_SPI_READ, 0, 256, 2},
      {"read rounds up", CMD_SPI_READ, 0, 200, 2},
      {"read of nothing", CMD_SPI_READ, 0, 0, 0},
      {"write from 0x100", CMD_SPI_WRITE, 0x100, 384, 3},
      {"erase 0x12000", CMD_SPI_ERASE, 0, 0x12000, 18},
      {"erase one byte more", CMD_SPI_ERASE, 0, 0x12001, 19},
  };
  std::vector<std::uint8_t> buffer(0x200, 0xEE);
  for (const Case& c : cases) {
    controller.commands.clear();
    state.ProgressCount = 5;
    bool ok = false;
    if (c.opcode == CMD_SPI_READ) ok = flash.ReadSPI(c.address, c.length, buffer.data());
    if (c.opcode == CMD_SPI_WRITE) ok = flash.WriteSPI(c.address, c.length, buffer.data());
    if (c.opcode == CMD_SPI_ERASE) ok = flash.EraseSPI(c.address, c.length);
    EXPECT_TRUE(ok) << c.what;
    ASSERT_EQ(controller.commands.size(), c.commands) << c.what;
    const std::uint32_t step = c.opcode == CMD_SPI_ERASE ? 4096 : 128;
    for (std::size_t k = 0; k < c.commands; ++k)
      EXPECT_EQ(controller.commands[k], (SpiCommandSeen{c.opcode, c.address + static_cast<std::uint32_t>(k) * step}))
          << c.what << " block " << k;
    EXPECT_EQ(state.ProgressCount.load(), 5 + static_cast<int>(c.commands)) << c.what;
  }
  EXPECT_EQ(drives.openHandles, 0);
  EXPECT_EQ(controller.otherRequests, 0u);
  EXPECT_EQ(controller.badFrames, 0u);
}

TEST_F(SpiFlashTest, DataRoundTripsThroughTheFlash) {
  std::vector<std::uint8_t> data(1024);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
  ASSERT_TRUE(flash.EraseSPI(0x4000, 4096));
  ASSERT_TRUE(flash.WriteSPI(0x4080, 1000, data.data()));
  std::vector<std::uint8_t> back(1024, 0);
  ASSERT_TRUE(flash.ReadSPI(0x4080, 1000, back.data()));
  EXPECT_EQ(back, data);  // whole blocks move, so even the bytes past 1000 came back
  EXPECT_EQ(controller.flash[0x4000], 0xFF);
  EXPECT_EQ(controller.flash[0x4080 + 1024], 0xFF);
}

TEST_F(SpiFlashTest, FailedAttemptsAreRetriedAndReported) {
  controller.failures[{CMD_SPI_WRITE, 0x100}] = 2;
  std::vector<std::uint8_t> data(512, 0x11);
  EXPECT_TRUE(flash.WriteSPI(0, 512, data.data()));
  EXPECT_EQ(ui.panelTexts[4], (std::vector<std::string>{"WriteSPI fail1 times, Address = 0100",
                                                         "WriteSPI fail2 times, Address = 0100"}));
  EXPECT_EQ(controller.count(CMD_SPI_WRITE), 4u + 2u);
  EXPECT_EQ(controller.flash[0x1FF], 0x11);
  EXPECT_EQ(state.ProgressCount.load(), 4);
}

TEST_F(SpiFlashTest, NineFailuresStopTheRangeThere) {
  controller.failures[{CMD_SPI_ERASE, 0x3000}] = 9;
  controller.flash[0x2000] = 0x00;
  controller.flash[0x4000] = 0x00;
  EXPECT_FALSE(flash.EraseSPI(0, 0x8000));
  EXPECT_EQ(ui.panelTexts[4].size(), 10u);
  EXPECT_EQ(ui.panelTexts[4][8], "EraseSPI fail 9 times, Address = 3000");
  EXPECT_EQ(ui.lastPanel(4), "EraseSPI fail, Address = 3000");
  EXPECT_EQ(controller.flash[0x2000], 0xFF);  // done blocks stay done
  EXPECT_EQ(controller.flash[0x4000], 0x00);  // later blocks untouched
  EXPECT_EQ(controller.commands.back(), (SpiCommandSeen{CMD_SPI_ERASE, 0x3000}));
  EXPECT_EQ(state.ProgressCount.load(), 3);
  EXPECT_EQ(drives.openHandles, 0);

  // Read failures name the block address with at least four hex digits.
  controller.failures[{CMD_SPI_READ, 0x78000}] = 9;
  std::vector<std::uint8_t> buffer(128);
  EXPECT_FALSE(flash.ReadSPI(0x78000, 128, buffer.data()));
  EXPECT_EQ(ui.panelTexts[4][ui.panelTexts[4].size() - 2], "ReadSPI fail 9 times, Address = 78000");
  EXPECT_EQ(SpiAddressText(0x80), "0080");
}

TEST_F(SpiFlashTest, DeviceChecksComeBeforeAnyCommand) {
  struct Case {
    const char* what;
    unsigned count;
    std::uint32_t target;
    const char* panel;
    const char* box;
  } cases[] = {
      {"no device", 0, 0, "Device not found!!!", "No Device found !"},
      {"no target", 1, kNoDevice, "No Upgrade Mode!!!", "No Upgrade Mode !"},
      {"target past the count", 1, 1, "No Upgrade Mode!!!", "No Upgrade Mode !"},
  };
  std::uint8_t block[128] = {};
  for (const Case& c : cases) {
    devices.currentCount = c.count;
    state.UpgradeTarget = c.target;
    ui.boxes.clear();
    EXPECT_FALSE(flash.WriteSPI(0, 128, block)) << c.what;
    EXPECT_FALSE(flash.EraseSPI(0, 4096)) << c.what;
    EXPECT_EQ(ui.lastPanel(4), c.panel) << c.what;
    ASSERT_EQ(ui.boxes.size(), 2u) << c.what;
    EXPECT_EQ(ui.boxes[0].text, c.box);
    EXPECT_EQ(ui.boxes[0].caption, "Message");
  }
  EXPECT_EQ(drives.opens, 0);

  // A device that will not open.
  devices.currentCount = 1;
  state.UpgradeTarget = 0;
  devices.current[0] = kEntryAccepted | 5;
  ui.boxes.clear();
  EXPECT_FALSE(flash.EraseSPI(0, 4096));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Invalid Drive");
  EXPECT_TRUE(controller.commands.empty());
}

TEST_F(SpiFlashTest, DetectionReadsTheProbedDrive) {
  controller.flash[0x95] = 0x21;
  devices.currentCount = 0;  // nothing published yet
  state.UpgradeTarget = kNoDevice;
  devices.probed = kDrive;
  detecting = true;
  EXPECT_EQ(flash.ReadFirmwareType(), std::optional<std::uint8_t>(0x21));
  EXPECT_EQ(controller.count(CMD_SPI_READ), 2u);

  controller.failures[{CMD_SPI_READ, 0x80}] = 9;
  EXPECT_EQ(flash.ReadFirmwareType(), std::nullopt);
}

TEST_F(SpiFlashTest, RangesPastTheReachableFlashAreRefused) {
  // Block numbers are 16 bits: a block at 8 MiB would land on block 0.
  controller.flash[0] = 0x00;
  EXPECT_FALSE(flash.EraseSPI(0x7FF000, 0x2000));
  std::uint8_t block[128] = {};
  EXPECT_FALSE(flash.WriteSPI(0x800000, 128, block));
  EXPECT_TRUE(controller.commands.empty());
  EXPECT_EQ(controller.flash[0], 0x00);
  EXPECT_TRUE(flash.EraseSPI(0x7FF000, 0x1000));
}

}  // namespace
}  // namespace rur
