// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/command_frame.h"
#include "transport/commands.h"
#include "transport/controller_channel.h"
#include "transport/crc32.h"

namespace rur {
namespace {

CommandFrame QueryFrame(std::uint8_t code) { return BuildCommandFrame(kGroupRead, code, {0xCF, 0xDF, 0xEF}); }

TEST(Crc32, MatchesTheStandardCheckValue) {
  const std::string text = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
}

TEST(CommandFrame, ProbeQueryFrameAndLbas) {
  const CommandFrame frame = QueryFrame(QUERY_PROBE);
  const std::vector<std::uint8_t> expected{0x43, 0x00, 0x71, 0x00, 0xA7, 0x00, 0xDF, 0x00,
                                           0x00, 0x04, 0xEF, 0xFF, 0x10, 0xCF, 0xDF, 0xEF};
  EXPECT_EQ(std::vector<std::uint8_t>(frame.bytes.begin(), frame.bytes.begin() + 16), expected);
  EXPECT_EQ(frame.size(), kShortFrameSize);
  EXPECT_EQ(frame.crc(), 0x1BDF382Eu);
  const LbaSequence sequence = BuildLbaSequence(frame);
  const std::vector<std::uint32_t> lbas(sequence.lbas.begin(), sequence.lbas.begin() + sequence.count);
  EXPECT_EQ(lbas, (std::vector<std::uint32_t>{67, 113, 167, 223, 256, 260, 495, 511, 528, 719, 735, 751, 1051, 1247,
                                              1080, 1070}));
}

TEST(CommandFrame, MembersQueryCrcAndLastLbas) {
  const CommandFrame frame = QueryFrame(QUERY_MEMBERS);
  EXPECT_EQ(frame.crc(), 0x86080097u);
  const LbaSequence sequence = BuildLbaSequence(frame);
  ASSERT_EQ(sequence.count, 16u);
  EXPECT_EQ(sequence.lbas[12], 1158u);
  EXPECT_EQ(sequence.lbas[13], 1032u);
  EXPECT_EQ(sequence.lbas[14], 1024u);
  EXPECT_EQ(sequence.lbas[15], 1175u);
}

TEST(CommandFrame, SpiReadAndBlockNumbers) {
  const CommandFrame frame = BuildCommandFrame(kGroupRead, CMD_SPI_READ, SpiParams(0));
  EXPECT_EQ(frame.bytes[12], 0x20);
  EXPECT_EQ(frame.bytes[13], 0x01);
  EXPECT_EQ(frame.bytes[14], 0x00);
  EXPECT_EQ(frame.bytes[15], 0x00);
  EXPECT_EQ(frame.crc(), 0x46D05DFCu);

  EXPECT_EQ(SpiParams(0x12345), (std::array<std::uint8_t, 3>{0x01, 0x02, 0x46}));
  // The block number keeps 16 bits: the last reachable block, and the wrap just past 8 MiB.
  EXPECT_EQ(SpiParams(kSpiReachableBytes - 128), (std::array<std::uint8_t, 3>{0x01, 0xFF, 0xFF}));
  EXPECT_EQ(SpiParams(kSpiReachableBytes), (std::array<std::uint8_t, 3>{0x01, 0x00, 0x00}));
}

TEST(CommandFrame, LongFrameCarriesPayloadAndGives144Lbas) {
  std::array<std::uint8_t, 128> payload{};
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 3);
  const CommandFrame frame = BuildCommandFrame(kGroupPayload, CMD_SPI_WRITE, SpiParams(0x100), payload.data());
  EXPECT_TRUE(frame.isLong);
  EXPECT_EQ(frame.size(), kLongFrameSize);
  EXPECT_EQ(frame.crc(), Crc32(frame.bytes.data(), 144));
  const LbaSequence sequence = BuildLbaSequence(frame);
  ASSERT_EQ(sequence.count, 144u);
  EXPECT_EQ(sequence.lbas[4], 256u + 0x01);  // group 01 05 EF FF
  EXPECT_EQ(sequence.lbas[12], kPayloadLbaBase + payload[0]);
  EXPECT_EQ(sequence.lbas[139], kPayloadLbaBase + payload[127]);
  EXPECT_EQ(sequence.lbas[143], kCrcLbaBase + (frame.crc() & 0xFF));
}

}  // namespace
}  // namespace rur
