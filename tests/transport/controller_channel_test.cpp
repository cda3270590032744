// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/user_interface.h"
#include "smart/read_smart_pages.h"
#include "support/recording_ui.h"
#include "support/scripted_device.h"
#include "transport/commands.h"
#include "transport/controller_channel.h"

namespace rur {
namespace {

using test::ScriptedDriveSource;
using test::SignedAnswer;

struct ChannelTest : ::testing::Test {
  ScriptedDriveSource drives;
  VirtualClock clock;
  test::RecordingUi ui;
  ControllerChannel channel{drives, clock, ui};
  Sector answer{};

  void AnswerAtPoll(int poll, Sector sector) {
    drives.disk.answer = [poll, sector](int n, Sector& out) {
      if (n >= poll) out = sector;
    };
  }
};

TEST_F(ChannelTest, QuerySendsTheFrameThenPollsUntilBothSignatures) {
  AnswerAtPoll(3, SignedAnswer(0x20));
  EXPECT_EQ(channel.Query(0, QUERY_PROBE, answer), kResultOk);
  const auto lbas = drives.disk.readLbas();
  const std::vector<std::uint32_t> frame{67,  113, 167, 223, 256,  260,  495,  511,
                                         528, 719, 735, 751, 1051, 1247, 1080, 1070};
  ASSERT_EQ(lbas.size(), frame.size() + 3 * 2);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), lbas.begin()));
  for (std::size_t i = frame.size(); i < lbas.size(); i += 2) {
    EXPECT_EQ(lbas[i], kSeparatorLba);  // every poll: separator, then the answer block
    EXPECT_EQ(lbas[i + 1], kResponseLba);
  }
  EXPECT_EQ(channel.record().polls, 3u);
  EXPECT_EQ(answer[kResponseStatusOffset], 0x20);
  EXPECT_EQ(ui.pumps, 16 + 3);  // once per LBA and once per poll
  EXPECT_EQ(clock.nowMs(), 30u);
  for (const auto& request : drives.disk.requests) EXPECT_EQ(request.cdb[0], kOpRead10);
}

TEST_F(ChannelTest, EqualNeighboursGetASeparatorRead) {
  AnswerAtPoll(1, SignedAnswer(0x20));
  drives.driveNumber = 0;
  DeviceHandle device = drives.OpenPhysicalDrive(0);
  std::uint8_t data[128];
  EXPECT_EQ(channel.SpiRead(*device, 0, data), kResultOk);
  const auto lbas = drives.disk.readLbas();
  // 16 frame LBAs plus one separator between the two reads of 512, then one poll.
  ASSERT_EQ(lbas.size(), 17u + 2u);
  EXPECT_EQ(lbas[8], 512u + 0x20);
  EXPECT_EQ(lbas[9], 512u + 0x01);
  EXPECT_EQ(lbas[10], 512u);
  EXPECT_EQ(lbas[11], kSeparatorLba);
  EXPECT_EQ(lbas[12], 512u);
  for (std::size_t i = 1; i < lbas.size(); ++i) EXPECT_NE(lbas[i], lbas[i - 1]) << "at read " << i;
}

TEST_F(ChannelTest, StatusBytesMapToResults) {
  struct Case {
    std::uint8_t status;
    ResultCode result;
  } cases[] = {{0x20, 0x00}, {0x00, 0x00}, {0x10, 0x10}, {0xC0, 0xC0},
               {0xE0, 0xE0}, {0xFF, 0xFF}, {0x33, 0xF4}, {0x21, 0xF4}};
  for (const Case& c : cases) {
    drives.disk.responsePolls = 0;
    AnswerAtPoll(1, SignedAnswer(c.status));
    EXPECT_EQ(channel.Query(0, QUERY_IDENTITY, answer), c.result) << "status " << int(c.status);
  }
}

TEST_F(ChannelTest, SpiReadCopiesTheDataWindowOnlyWhenCarriedOut) {
  Sector sector = SignedAnswer(0x20);
  for (std::size_t i = 0; i < 128; ++i) sector[kResponseDataWindowOffset + i] = static_cast<std::uint8_t>(i + 1);
  AnswerAtPoll(1, sector);
  DeviceHandle device = drives.OpenPhysicalDrive(0);
  std::array<std::uint8_t, 128> data{};
  EXPECT_EQ(channel.SpiRead(*device, 0x80, data.data()), kResultOk);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(data[127], 128);

  sector[kResponseStatusOffset] = 0x00;  // success, but not "carried out": nothing copied
  sector[kResponseDataWindowOffset] = 0x55;
  drives.disk.responsePolls = 0;
  AnswerAtPoll(1, sector);
  data.fill(0xAA);
  EXPECT_EQ(channel.SpiRead(*device, 0x80, data.data()), kResultOk);
  EXPECT_EQ(data[0], 0xAA);
}

TEST_F(ChannelTest, MixedSignaturesAreNoAnswer) {
  Sector mixed = SignedAnswer(0x20);
  const Sector portMultiplier = SignedAnswer(0x20, ControllerKind::PortMultiplier);
  std::copy(portMultiplier.begin() + 496, portMultiplier.end(), mixed.begin() + 496);
  AnswerAtPoll(1, mixed);
  EXPECT_EQ(channel.Query(0, QUERY_MEMBERS, answer), kResultNoAnswer);
  EXPECT_EQ(channel.record().lastStatus, kResultNoAnswer);
  EXPECT_GT(channel.record().polls, 300u);  // kept polling until the limit

  drives.disk.responsePolls = 0;
  AnswerAtPoll(1, portMultiplier);
  EXPECT_EQ(channel.Query(0, QUERY_MEMBERS, answer), kResultOk);
  EXPECT_EQ(channel.controllerKind(), ControllerKind::PortMultiplier);
}

TEST_F(ChannelTest, PollLimitsInSecondsAndInPolls) {
  // 1000 ms ends once two whole seconds passed; 3000 ms once four did.
  std::uint64_t before = clock.nowMs();
  EXPECT_EQ(channel.Query(0, QUERY_PROBE, answer), kResultNoAnswer);
  std::uint64_t waited = clock.nowMs() - before;
  EXPECT_GE(waited, 2000u);
  EXPECT_LT(waited, 2020u);
  EXPECT_EQ(channel.record().polls, 201u);

  before = clock.nowMs();
  EXPECT_EQ(channel.Query(0, QUERY_REBUILD, answer), kResultNoAnswer);
  waited = clock.nowMs() - before;
  EXPECT_GE(waited, 4000u);
  EXPECT_LT(waited, 4020u);

  // "3 polls" gives four polls.
  EXPECT_EQ(channel.AtaFetch(0, SMART_READ_DATA, 1, 2, answer), kResultNoAnswer);
  EXPECT_EQ(channel.record().polls, 4u);
}

TEST_F(ChannelTest, TransportFailuresGiveTheirCodes) {
  AnswerAtPoll(1, SignedAnswer(0x20));
  EXPECT_EQ(channel.Query(5, QUERY_PROBE, answer), kResultOpenFailed);

  drives.disk.readFails = [](std::uint32_t lba) { return lba == 495; };
  EXPECT_EQ(channel.Query(0, QUERY_PROBE, answer), kResultSequenceReadFailed);
  EXPECT_EQ(drives.disk.readLbas().back(), 495u);  // stopped at the failing read

  drives.disk.readFails = [](std::uint32_t lba) { return lba == kResponseLba; };
  EXPECT_EQ(channel.Query(0, QUERY_PROBE, answer), kResultResponseReadFailed);

  // A failing separator read during the wait is ignored.
  drives.disk.readFails = [](std::uint32_t lba) { return lba == kSeparatorLba; };
  EXPECT_EQ(channel.Query(0, QUERY_PROBE, answer), kResultOk);

  // Answer reads turned down with a check condition bring nothing: the last answer is not taken
  // for this command's.
  drives.disk.readFails = [](std::uint32_t) { return false; };
  drives.disk.checkCondition = [](std::uint32_t lba) { return lba == kResponseLba; };
  EXPECT_EQ(channel.AtaFetch(0, SMART_READ_DATA, 1, 2, answer), kResultNoAnswer);
}

TEST_F(ChannelTest, AtaIssueCarriesTheRegisterFis) {
  AnswerAtPoll(1, SignedAnswer(0x20));
  EXPECT_EQ(channel.AtaIssue(0, SMART_READ_THRESHOLDS, 1, answer), kResultOk);
  const CommandFrame& frame = channel.record().frame;
  ASSERT_TRUE(frame.isLong);
  EXPECT_EQ(frame.bytes[8], 0x01);  // payload group
  EXPECT_EQ(frame.bytes[12], CMD_ATA_ISSUE);
  EXPECT_EQ(frame.bytes[13], SMART_READ_THRESHOLDS);
  EXPECT_EQ(frame.bytes[14], 1);
  const std::uint8_t* fis = frame.bytes.data() + kFramePayloadOffset;
  EXPECT_EQ(fis[0], 0x27);
  EXPECT_EQ(fis[2], 0xB0);
  EXPECT_EQ(fis[3], 0xD1);
  EXPECT_EQ(fis[5], 0x4F);
  EXPECT_EQ(fis[6], 0xC2);
  EXPECT_EQ(fis[20], 0);

  drives.disk.responsePolls = 0;
  EXPECT_EQ(channel.AtaIssue(0, ATA_IDENTIFY_DEVICE, 0, answer), kResultOk);
  EXPECT_EQ(channel.record().frame.bytes[kFramePayloadOffset + 2], 0xEC);
  EXPECT_EQ(channel.record().frame.bytes[kFramePayloadOffset + 3], 0x00);
}

// A channel whose controllers another process owns: queries and whole member pages come from the
// relay, the fetches after an issue are served from the page it gave, and no request reaches a
// device, the SPI commands included.
TEST_F(ChannelTest, ARelayedChannelNeverReachesTheDevice) {
  struct Relay final : ControllerRelay {
    ResultCode queryResult = kResultOk;
    ResultCode Query(unsigned, std::uint8_t, Sector& out) override {
      out = SignedAnswer(0x20);
      return queryResult;
    }
    ResultCode ReadMemberPage(unsigned, std::uint8_t, std::uint8_t port, MemberPage& page) override {
      for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i / 128 + port * 16);
      return kResultOk;
    }
  } relay;
  channel.SetRelay(&relay);
  EXPECT_EQ(channel.Query(0, QUERY_MEMBERS, answer), kResultOk);
  EXPECT_EQ(answer[kResponseStatusOffset], 0x20);
  relay.queryResult = kResultControllerBusy;
  EXPECT_EQ(channel.Query(0, QUERY_MEMBERS, answer), kResultControllerBusy);
  EXPECT_NE(channel.record().busyHolder, "");

  SmartPage page{};
  ASSERT_TRUE(ReadMemberPage(channel, 0, SMART_READ_DATA, 1, page));
  for (std::size_t i = 0; i < page.size(); i += 127) EXPECT_EQ(page[i], i / 128 + 16) << i;
  // A fetch for another page than the one issued gets nothing.
  EXPECT_EQ(channel.AtaFetch(0, SMART_READ_THRESHOLDS, 1, 1, answer), kResultNoAnswer);

  std::uint8_t block[kSpiBlockSize] = {};
  DeviceHandle device = drives.OpenPhysicalDrive(0);
  EXPECT_EQ(channel.SpiRead(*device, 0, block), kResultOpenFailed);
  EXPECT_EQ(channel.SpiErase(*device, 0), kResultOpenFailed);
  EXPECT_EQ(channel.SpiWrite(*device, 0, block), kResultOpenFailed);
  EXPECT_TRUE(drives.disk.requests.empty());
}

}  // namespace
}  // namespace rur
