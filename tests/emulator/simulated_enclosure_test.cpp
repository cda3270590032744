// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated enclosure driven by the program's own controller channel: every command of the
// table, the frame rules, faults, timeline, request recording and saved state.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>

#include "emulator/emulator_test_support.h"
#include "transport/commands.h"
#include "transport/pass_through.h"

namespace rur {
namespace {

using test::AtaText;
using test::BigEndian;
using test::SimulatedRig;

const char* const kMirror = R"({"drives": [
  {"number": 0, "type": "disk"},
  {"number": 1, "type": "enclosure", "productName": "Test Bay RAID", "productCode": "0x2770",
   "fan": 2650, "temperature": 37, "firmware": {"version": "0x14031510", "type": 7},
   "members": [
     {"model": "MODEL ONE", "serial": "SER1", "firmware": "FW1", "capacity": 1000000,
      "smart": [{"id": 5, "value": 100, "worst": 99, "threshold": 36, "raw": "0x010203040506"}, {"id": 194, "raw": 41}]},
     {"model": "MODEL TWO", "serial": "SER2", "capacity": 1200000}]}]})";

// The member's 512-byte ATA answer: one issue, then four fetches.
Sector AtaPage(SimulatedRig& rig, std::uint8_t code, std::uint8_t port, ResultCode& result) {
  Sector page{};
  result = rig.channel.AtaIssue(1, code, port, rig.answer);
  for (std::uint8_t chunk = 1; result == kResultOk && chunk <= 4; ++chunk) {
    result = rig.channel.AtaFetch(1, code, port, chunk, rig.answer);
    std::copy_n(rig.answer.begin() + kResponseDataWindowOffset, 128, page.begin() + (chunk - 1) * 128);
  }
  return page;
}

std::uint8_t ByteSum(const Sector& page) {
  return static_cast<std::uint8_t>(std::accumulate(page.begin(), page.end(), 0u));
}

TEST(SimulatedEnclosure, StatusQueriesAnswerTheControllerState) {
  SimulatedRig rig(kMirror);
  ASSERT_EQ(rig.channel.Query(1, QUERY_PROBE, rig.answer), kResultOk);
  EXPECT_EQ(rig.answer[kResponseStatusOffset], kStatusDone);

  ASSERT_EQ(rig.channel.Query(1, QUERY_IDENTITY, rig.answer), kResultOk);
  EXPECT_EQ(BigEndian(&rig.answer[88], 4), 0x14031510u);  // the version field of the image in flash
  EXPECT_EQ(rig.answer[91] & 0x10, 0x10);                 // block A is HDD1
  EXPECT_EQ(rig.answer[92], 0x27);
  EXPECT_EQ(rig.answer[93], 0x70);
  EXPECT_EQ(rig.answer[124] | rig.answer[125], 0);  // sensors reported
  EXPECT_EQ(rig.answer[127], 37);
  EXPECT_EQ(rig.answer[128] * 256 + rig.answer[129], 2650);
  EXPECT_EQ(AtaText(&rig.answer[160], 40), "Test Bay RAID");
  EXPECT_EQ(rig.answer[200] | rig.answer[201] << 8 | rig.answer[202] << 16, 1000000);  // mirror: the smaller disk

  ASSERT_EQ(rig.channel.Query(1, QUERY_MEMBERS, rig.answer), kResultOk);
  EXPECT_EQ(rig.answer[80], 2);
  EXPECT_EQ(rig.answer[84], 0);
  EXPECT_EQ(AtaText(&rig.answer[84 + 4], 40), "MODEL ONE");
  EXPECT_EQ(AtaText(&rig.answer[84 + 44], 20), "SER1");
  EXPECT_EQ(BigEndian(&rig.answer[84 + 70], 6), 1000000u);
  EXPECT_EQ(AtaText(&rig.answer[160 + 4], 40), "MODEL TWO");
  EXPECT_EQ(BigEndian(&rig.answer[160 + 70], 6), 1200000u);

  ASSERT_EQ(rig.channel.Query(1, QUERY_REBUILD, rig.answer), kResultOk);
  EXPECT_NE(rig.answer[84], 2);
  EXPECT_EQ(BigEndian(&rig.answer[94], 6), 1000000u);  // the array size, rebuild or not
  EXPECT_EQ(rig.channel.controllerKind(), ControllerKind::Raid);

  // A plain disk never answers; a drive that is not there cannot be opened.
  EXPECT_EQ(rig.channel.Query(0, QUERY_PROBE, rig.answer), kResultNoAnswer);
  EXPECT_EQ(rig.channel.Query(5, QUERY_PROBE, rig.answer), kResultOpenFailed);
}

TEST(SimulatedEnclosure, MemberOrderPlacesHdd1InBlockAndPort) {
  for (const bool swap : {false, true}) {
    sim::Scenario scenario = test::ParsedScenario(kMirror);
    scenario.drives[1].enclosure.swapPorts = swap;
    SimulatedRig rig(scenario);
    ASSERT_EQ(rig.channel.Query(1, QUERY_IDENTITY, rig.answer), kResultOk);
    EXPECT_EQ((rig.answer[91] & 0x10) != 0, !swap);
    ASSERT_EQ(rig.channel.Query(1, QUERY_MEMBERS, rig.answer), kResultOk);
    const std::size_t hdd1Block = swap ? 160 : 84;
    EXPECT_EQ(AtaText(&rig.answer[hdd1Block + 44], 20), "SER1") << "swap " << swap;
    ResultCode result = 0;
    const Sector identify = AtaPage(rig, ATA_IDENTIFY_DEVICE, swap ? 1 : 0, result);
    ASSERT_EQ(result, kResultOk);
    EXPECT_EQ(AtaText(&identify[20], 20), "SER1");  // IDENTIFY words 10..19
  }
}

TEST(SimulatedEnclosure, AtaPagesArriveInFourChunksWithValidChecksums) {
  SimulatedRig rig(kMirror);
  ResultCode result = 0;
  const Sector identify = AtaPage(rig, ATA_IDENTIFY_DEVICE, 0, result);
  ASSERT_EQ(result, kResultOk);
  EXPECT_EQ(AtaText(&identify[54], 40), "MODEL ONE");
  EXPECT_EQ(identify[510], 0xA5);
  EXPECT_EQ(ByteSum(identify), 0);

  const Sector data = AtaPage(rig, SMART_READ_DATA, 0, result);
  ASSERT_EQ(result, kResultOk);
  const std::uint8_t firstEntry[12] = {5, 0x0F, 0x00, 100, 99, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0};
  EXPECT_TRUE(std::equal(std::begin(firstEntry), std::end(firstEntry), data.begin() + 2));
  EXPECT_EQ(data[2 + 12], 194);
  EXPECT_EQ(data[2 + 12 + 5], 41);
  EXPECT_EQ(data[2 + 24], 0);  // the table ends with the scenario's attributes
  EXPECT_EQ(ByteSum(data), 0);

  const Sector thresholds = AtaPage(rig, SMART_READ_THRESHOLDS, 0, result);
  ASSERT_EQ(result, kResultOk);
  EXPECT_EQ(thresholds[2], 5);
  EXPECT_EQ(thresholds[3], 36);
  EXPECT_EQ(ByteSum(thresholds), 0);

  // An empty bay fails, and a fetch needs a matching issue first.
  rig.host.controller(1)->removeMember(2);
  EXPECT_NE(rig.channel.AtaIssue(1, SMART_READ_DATA, 1, rig.answer), kResultOk);
  EXPECT_EQ(rig.channel.AtaIssue(1, SMART_READ_DATA, 0, rig.answer), kResultOk);
  EXPECT_NE(rig.channel.AtaFetch(1, SMART_READ_THRESHOLDS, 0, 1, rig.answer), kResultOk);
  EXPECT_NE(rig.channel.AtaFetch(1, SMART_READ_DATA, 0, 5, rig.answer), kResultOk);
}

TEST(SimulatedEnclosure, SpiCommandsWorkLikeNorFlash) {
  SimulatedRig rig(kMirror);
  DeviceHandle device = OpenDrive(rig.host, 1);
  ASSERT_TRUE(device);
  std::uint8_t block[128];
  ASSERT_EQ(rig.channel.SpiRead(*device, 0x80, block), kResultOk);
  EXPECT_EQ(std::string(block, block + 4), "QOVA");
  EXPECT_EQ(block[0x84 - 0x80], 0xEF);
  EXPECT_EQ(block[0x95 - 0x80], 7);  // the flash type
  EXPECT_EQ(BigEndian(&block[0x9C - 0x80], 4), 0x14031510u);

  // Programming only clears bits; erasing sets the whole 4 KiB sector back to FFh.
  std::uint8_t low[128], high[128];
  std::fill(std::begin(low), std::end(low), 0x0F);
  std::fill(std::begin(high), std::end(high), 0xF0);
  ASSERT_EQ(rig.channel.SpiErase(*device, 0x10080), kResultOk);
  ASSERT_EQ(rig.channel.SpiWrite(*device, 0x10100, low), kResultOk);
  ASSERT_EQ(rig.channel.SpiRead(*device, 0x10100, block), kResultOk);
  EXPECT_EQ(block[0], 0x0F);
  ASSERT_EQ(rig.channel.SpiWrite(*device, 0x10100, high), kResultOk);
  ASSERT_EQ(rig.channel.SpiRead(*device, 0x10100, block), kResultOk);
  EXPECT_EQ(block[127], 0x00);
  ASSERT_EQ(rig.channel.SpiErase(*device, 0x10F80), kResultOk);
  ASSERT_EQ(rig.channel.SpiRead(*device, 0x10100, block), kResultOk);
  EXPECT_EQ(block[64], 0xFF);

  // A new image's version field is what the identity answer reports from then on.
  ASSERT_EQ(rig.channel.SpiRead(*device, 0x80, block), kResultOk);
  block[0x9C - 0x80] = 0x15;
  ASSERT_EQ(rig.channel.SpiErase(*device, 0), kResultOk);
  ASSERT_EQ(rig.channel.SpiWrite(*device, 0x80, block), kResultOk);
  device.reset();
  ASSERT_EQ(rig.channel.Query(1, QUERY_IDENTITY, rig.answer), kResultOk);
  EXPECT_EQ(BigEndian(&rig.answer[88], 4), 0x15031510u);
}

TEST(SimulatedEnclosure, PortMultiplierAnswersWithItsSignaturePair) {
  sim::Scenario scenario = test::ParsedScenario(kMirror);
  scenario.drives[1].enclosure.kind = ControllerKind::PortMultiplier;
  SimulatedRig rig(scenario);
  ASSERT_EQ(rig.channel.Query(1, QUERY_MEMBERS, rig.answer), kResultOk);
  EXPECT_EQ(rig.channel.controllerKind(), ControllerKind::PortMultiplier);
  EXPECT_EQ(std::string(rig.answer.begin(), rig.answer.begin() + 16), "__TORLINE5530D__");
}

// Reads the LBAs as given, one sector each, and then whether LBA 17 carries an answer.
bool AnswerAfterReads(SimulatedRig& rig, const std::vector<std::uint32_t>& lbas) {
  DeviceHandle device = OpenDrive(rig.host, 1);
  Sector sector{};
  for (std::uint32_t lba : lbas) EXPECT_TRUE(ReadSectors(*device, lba, sector.data(), 1));
  EXPECT_TRUE(ReadSectors(*device, kSeparatorLba, sector.data(), 1));
  EXPECT_TRUE(ReadSectors(*device, kResponseLba, sector.data(), 1));
  return MatchSignatures(sector).has_value();
}

std::vector<std::uint32_t> FrameLbas(std::uint8_t opcode) {
  const CommandFrame frame = BuildCommandFrame(kGroupRead, opcode, {0xCF, 0xDF, 0xEF});
  const LbaSequence sequence = BuildLbaSequence(frame);
  return {sequence.lbas.begin(), sequence.lbas.begin() + static_cast<std::ptrdiff_t>(sequence.count)};
}

TEST(SimulatedEnclosure, FramesAreRecognisedOnlyWhenWholeAndSound) {
  SimulatedRig rig(kMirror);
  std::vector<std::uint32_t> lbas = FrameLbas(QUERY_MEMBERS);
  EXPECT_TRUE(AnswerAfterReads(rig, lbas));

  std::vector<std::uint32_t> badCrc = lbas;
  badCrc.back() ^= 1;
  EXPECT_FALSE(AnswerAfterReads(rig, badCrc));  // no answer, not even the previous one
  EXPECT_EQ(rig.host.controller(1)->badCrcFrames(), 1u);

  std::vector<std::uint32_t> interrupted = lbas;
  interrupted.insert(interrupted.begin() + 6, 2048);  // a foreign read in the middle
  EXPECT_FALSE(AnswerAfterReads(rig, interrupted));

  // Reads before and after a frame are ordinary disk traffic and leave it alone.
  std::vector<std::uint32_t> surrounded{0, 1, 2, 34};
  surrounded.insert(surrounded.end(), lbas.begin(), lbas.end());
  EXPECT_TRUE(AnswerAfterReads(rig, surrounded));

  // Equal neighbours without a separator read count as one read, so the frame falls apart.
  const CommandFrame spiRead = BuildCommandFrame(kGroupRead, CMD_SPI_READ, {0x01, 0x00, 0x00});
  const LbaSequence sequence = BuildLbaSequence(spiRead);
  std::vector<std::uint32_t> noSeparator(sequence.lbas.begin(), sequence.lbas.begin() + 16);
  EXPECT_FALSE(AnswerAfterReads(rig, noSeparator));
  std::vector<std::uint32_t> separated = noSeparator;
  separated.insert(separated.begin() + 11, kSeparatorLba);
  EXPECT_TRUE(AnswerAfterReads(rig, separated));

  // Data reads of other LBAs are disk data, never an answer.
  DeviceHandle device = OpenDrive(rig.host, 1);
  std::array<std::uint8_t, 4 * kSectorSize> several{};
  ASSERT_TRUE(ReadSectors(*device, 100, several.data(), 4));
  Sector one{};
  ASSERT_TRUE(ReadSectors(*device, 102, one.data(), 1));
  EXPECT_TRUE(std::equal(one.begin(), one.end(), several.begin() + 2 * kSectorSize));
}

struct FaultCase {
  const char* fault;
  std::function<std::vector<ResultCode>(SimulatedRig&)> run;
  std::vector<ResultCode> expected;
};

std::vector<ResultCode> Queries(SimulatedRig& rig, std::uint8_t code, int count) {
  std::vector<ResultCode> results;
  for (int i = 0; i < count; ++i) results.push_back(rig.channel.Query(1, code, rig.answer));
  return results;
}

TEST(SimulatedEnclosure, FaultsStrikeAsScenariosDescribe) {
  const std::vector<FaultCase> cases{
      {R"({"drive": 1, "kind": "fail", "command": "query", "code": "0x17", "times": 2})",
       [](SimulatedRig& rig) {
         auto results = Queries(rig, QUERY_MEMBERS, 3);
         results.push_back(rig.channel.Query(1, QUERY_REBUILD, rig.answer));
         return results;
       },
       {0xC0, 0xC0, 0x00, 0x00}},
      {R"({"drive": 1, "kind": "status", "command": "query"})",
       [](SimulatedRig& rig) { return Queries(rig, QUERY_IDENTITY, 1); },
       {kResultUnknownStatus}},
      {R"({"drive": 1, "kind": "wrong-signature", "times": 1})",
       [](SimulatedRig& rig) { return Queries(rig, QUERY_PROBE, 2); },
       {kResultNoAnswer, 0x00}},
      {R"({"drive": 1, "kind": "mixed-signature"})",
       [](SimulatedRig& rig) { return Queries(rig, QUERY_MEMBERS, 1); },
       {kResultNoAnswer}},
      {R"({"drive": 1, "kind": "transport", "lba": 17, "times": 1})",
       [](SimulatedRig& rig) { return Queries(rig, QUERY_MEMBERS, 2); },
       {kResultResponseReadFailed, 0x00}},
      {R"({"drive": 1, "kind": "transport", "lba": 67, "times": 1})",
       [](SimulatedRig& rig) { return Queries(rig, QUERY_MEMBERS, 2); },
       {kResultSequenceReadFailed, 0x00}},
      {R"({"drive": 1, "kind": "fail", "from": 10, "until": 20})",
       [](SimulatedRig& rig) {
         std::vector<ResultCode> results;
         for (double t : {5.0, 15.0, 25.0}) {
           rig.At(t);
           results.push_back(rig.channel.Query(1, QUERY_MEMBERS, rig.answer));
         }
         return results;
       },
       {0x00, 0xC0, 0x00}},
      // The ATA commands wait three polls: an answer after three hidden polls still arrives, after four not.
      {R"({"drive": 1, "kind": "late", "command": "ata-fetch", "chunk": 2, "polls": 3})",
       [](SimulatedRig& rig) {
         ResultCode result = 0;
         AtaPage(rig, SMART_READ_DATA, 0, result);
         return std::vector<ResultCode>{result};
       },
       {0x00}},
      {R"({"drive": 1, "kind": "late", "command": "ata-issue", "polls": 4})",
       [](SimulatedRig& rig) {
         return std::vector<ResultCode>{rig.channel.AtaIssue(1, SMART_READ_DATA, 0, rig.answer)};
       },
       {kResultNoAnswer}},
  };
  for (const FaultCase& c : cases) {
    const std::string json =
        std::string(kMirror).insert(std::string(kMirror).size() - 1, std::string(R"(, "faults": [)") + c.fault + "]");
    SimulatedRig rig(json);
    EXPECT_EQ(c.run(rig), c.expected) << c.fault;
  }
}

TEST(SimulatedEnclosure, LateAnswerCostsTheHiddenPolls) {
  SimulatedRig rig(std::string(kMirror).insert(std::string(kMirror).size() - 1,
                                               R"(, "faults": [{"drive": 1, "kind": "late", "polls": 3}])"));
  EXPECT_EQ(rig.channel.Query(1, QUERY_MEMBERS, rig.answer), kResultOk);
  EXPECT_EQ(rig.channel.record().polls, 4u);
}

TEST(SimulatedEnclosure, FlashBlockThatWillNotProgram) {
  for (const bool acknowledge : {true, false}) {
    sim::Scenario scenario = test::ParsedScenario(kMirror);
    sim::Fault fault;
    fault.drive = 1;
    fault.kind = sim::FaultKind::SpiWontProgram;
    fault.command = sim::FaultCommand::SpiWrite;
    fault.address = 0x3000;
    fault.acknowledge = acknowledge;
    scenario.faults.push_back(fault);
    SimulatedRig rig(scenario);
    DeviceHandle device = OpenDrive(rig.host, 1);
    std::uint8_t zeros[128] = {};
    EXPECT_EQ(rig.channel.SpiErase(*device, 0x3000), kResultOk);
    EXPECT_EQ(rig.channel.SpiWrite(*device, 0x3000, zeros), acknowledge ? kResultOk : sim::kStatusFailed);
    EXPECT_EQ(rig.channel.SpiWrite(*device, 0x3080, zeros), kResultOk);
    EXPECT_EQ(rig.host.controller(1)->flash().at(0x3000), 0xFF);
    EXPECT_EQ(rig.host.controller(1)->flash().at(0x3080), 0x00);
  }
}

}  // namespace
}  // namespace rur
