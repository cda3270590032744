// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "monitor/ata_text.h"
#include "monitor/capacity_text.h"
#include "monitor/device_names.h"
#include "monitor/mode_names.h"
#include "monitor/query_answers.h"

namespace rur {
namespace {

void PutMember(Sector& answer, std::size_t block, std::uint8_t state, const std::string& model,
               const std::string& serial, std::uint64_t capacity) {
  answer[block + members_answer::kState] = state;
  TextToAtaString(model, answer.data() + block + members_answer::kModel, kModelLength);
  TextToAtaString(serial, answer.data() + block + members_answer::kSerial, kSerialLength);
  for (int i = 0; i < 6; ++i)
    answer[block + members_answer::kCapacity + i] = static_cast<std::uint8_t>(capacity >> (8 * (5 - i)));
}

std::string Model(const StatusRecord& record, std::size_t at) {
  return TrimModelText(AtaStringToText(record.data() + at, kModelLength));
}

TEST(MembersAnswer, MemberOrderModeFlagsAndRebuild) {
  Sector answer{};
  answer[members_answer::kMode] = 2;
  PutMember(answer, members_answer::kBlockA, 0, "DISK-A", "SA", 1000);
  PutMember(answer, members_answer::kBlockB, 1, "DISK-B", "SB", 1200);
  StatusRecord record{};
  DecodeMembersAnswer(answer, /*blockAIsHdd1=*/false, RecordFill::Refresh, true, record);
  EXPECT_EQ(record[status_offset::kArrayMode], kModeMirroring);
  EXPECT_EQ(record[status_offset::kHdd1StateCode], 1);  // member 1 from block B
  EXPECT_EQ(record[status_offset::kHdd2StateCode], 0);
  EXPECT_EQ(record[status_offset::kDriveFlags], 0x22);
  EXPECT_EQ(record[status_offset::kActivityFlags], 0x01);
  EXPECT_EQ(Model(record, status_offset::kHdd1Model), "DISK-B");
  EXPECT_EQ(ReadLe(record.data() + status_offset::kHdd1Capacity, 6), 1200u);
  EXPECT_EQ(Model(record, status_offset::kHdd2Model), "DISK-A");

  DecodeMembersAnswer(answer, /*blockAIsHdd1=*/true, RecordFill::Refresh, true, record);
  EXPECT_EQ(Model(record, status_offset::kHdd1Model), "DISK-A");
  EXPECT_EQ(record[status_offset::kActivityFlags], 0x02);
}

TEST(MembersAnswer, ModesAndStateCodes) {
  const std::pair<std::uint8_t, std::uint8_t> modes[] = {{0, 3}, {1, 0}, {2, 1}, {3, 63}, {7, 63}};
  for (auto [answerMode, recordMode] : modes) EXPECT_EQ(ArrayModeFromAnswer(answerMode), recordMode);
  EXPECT_EQ(DriveFlagsOf(0, 5), 0x42);
  EXPECT_EQ(DriveFlagsOf(6, 9), 0x81);
  EXPECT_EQ(DriveFlagsOf(5, 5), 0x44);
  EXPECT_EQ(ModeText(2), "NRAID");
  EXPECT_EQ(ModeText(4), "Undefine");
  EXPECT_EQ(ModeText(63), "Bypass");
}

TEST(MembersAnswer, WhichMembersKeepTheirDetails) {
  Sector answer{};
  PutMember(answer, members_answer::kBlockA, 5, "GONE", "S1", 10);     // absent
  PutMember(answer, members_answer::kBlockB, 6, "FRESH-2", "S2", 20);  // inserted
  StatusRecord record{};
  TextToAtaString("OLD-ONE", record.data() + status_offset::kHdd1Model, kModelLength);
  TextToAtaString("OLD-TWO", record.data() + status_offset::kHdd2Model, kModelLength);

  StatusRecord refreshed = record;
  DecodeMembersAnswer(answer, true, RecordFill::Refresh, true, refreshed);
  EXPECT_EQ(Model(refreshed, status_offset::kHdd1Model), "OLD-ONE");  // absent: kept
  EXPECT_EQ(Model(refreshed, status_offset::kHdd2Model), "FRESH-2");  // inserted: copied

  StatusRecord known = record;
  DecodeMembersAnswer(answer, true, RecordFill::Detection, true, known);
  EXPECT_EQ(Model(known, status_offset::kHdd1Model), "OLD-ONE");
  EXPECT_EQ(Model(known, status_offset::kHdd2Model), "OLD-TWO");

  StatusRecord unknown = record;
  DecodeMembersAnswer(answer, true, RecordFill::Detection, false, unknown);
  EXPECT_EQ(AtaStringToText(unknown.data() + status_offset::kHdd1Model, kModelLength), std::string(40, ' '));
  EXPECT_EQ(ReadLe(unknown.data() + status_offset::kHdd2Capacity, 6), 0u);
}

TEST(RebuildAnswer, ProgressIsSafeForAnySize) {
  Sector answer{};
  EXPECT_FALSE(RebuildProgress(answer).has_value());
  answer[rebuild_answer::kRunning] = 2;
  auto put = [&answer](std::size_t at, int width, std::uint64_t value) {
    for (int i = 0; i < width; ++i) answer[at + i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
  };
  put(rebuild_answer::kSize, 6, 1000000);
  put(rebuild_answer::kPosition, 5, 250000);
  EXPECT_EQ(RebuildProgress(answer), 25);
  put(rebuild_answer::kSize, 6, 0);
  EXPECT_EQ(RebuildProgress(answer), 0);
  put(rebuild_answer::kSize, 6, 1000);
  put(rebuild_answer::kPosition, 5, 0xFFFFFFFFFFull);
  EXPECT_EQ(RebuildProgress(answer), 100);
}

TEST(DeviceTexts, CapacityRevisionAndNames) {
  EXPECT_EQ(CapacityText(2097151), "1023 MB");
  EXPECT_EQ(CapacityText(2097152), "1 GB");
  EXPECT_EQ(CapacityText(1953525168), "931 GB");

  IdentifyBlock block{};
  TextToAtaString("100126.5", block.data() + identify_offset::kFirmwareRevision, 8);
  EXPECT_EQ(FirmwareRevisionText(block), "100126.5");
  EXPECT_TRUE(SensorDisplay("100126.5", false));
  EXPECT_FALSE(SensorDisplay("100125.9", false));
  EXPECT_TRUE(SensorDisplay("100125.9", true));
  EXPECT_FALSE(SensorDisplay("V1.2", false));

  const std::uint8_t hex[8] = {0x0A, 0x1B, 0x2C, 0x13, 0x27, 0x60, 0x00, 0x00};
  std::copy(std::begin(hex), std::end(hex), block.begin() + identify_offset::kFirmwareRevision);
  EXPECT_EQ(FirmwareRevisionText(block, RevisionForm::Log), "0A1B2C.3");
  EXPECT_EQ(FirmwareRevisionText(block, RevisionForm::Alarm), "0A1B2C132760");

  TextToAtaString("Dual Bay RAID", block.data() + identify_offset::kProductName, kProductNameLength);
  EXPECT_EQ(DeviceProductName(block), "Dual Bay RAID");
  TextToAtaString("AB", block.data() + identify_offset::kProductName, kProductNameLength);
  EXPECT_EQ(DeviceProductName(block), "AB    ");  // never below six characters
  EXPECT_EQ(DeviceNameText("Dual Bay RAID", "sdb1sdb2"), "Dual Bay RAID [sdb1sdb2]");
}

TEST(DeviceTexts, SerialKeysKeepDisksApart) {
  // The field's bytes as the disk means them (the swap is undone by the functions).
  const auto key = [](const std::string& bytes) {
    std::uint8_t field[kSerialLength];
    std::string padded = bytes;
    padded.resize(kSerialLength, '\0');
    for (std::size_t i = 0; i < kSerialLength; ++i) field[i] = static_cast<std::uint8_t>(padded[i ^ 1u]);
    return AtaSerialKey(field, kSerialLength);
  };
  // Printable serials keep the key they always had: the text without the blanks around it.
  EXPECT_EQ(key("    WD-WCC4N1234567"), "WD-WCC4N1234567");
  EXPECT_EQ(key("KD1A7Z4001"), "KD1A7Z4001");
  EXPECT_EQ(key(""), "");
  EXPECT_EQ(key(std::string(kSerialLength, ' ')), "");
  // Unreadable ones are their bytes: two such disks are two, and a zero inside cuts nothing off.
  const std::string ff = key(std::string(kSerialLength, '\xFF'));
  EXPECT_EQ(ff, "hex:" + std::string(2 * kSerialLength, 'F'));
  EXPECT_NE(key(std::string(kSerialLength - 1, '\xFF') + '\xFE'), ff);
  const std::string cut = key(std::string("ABC\0XYZ", 7));
  EXPECT_EQ(cut.substr(0, 18), "hex:4142430058595A");
  EXPECT_NE(cut, key("ABC"));
  EXPECT_EQ(key("hex:41"), "hex:6865783A3431");  // a printable serial that looks like the hex form
  // What those keys were stored as before: the serial's text.
  EXPECT_EQ(EarlierSerialKey(ff), std::string(kSerialLength, '?'));
  EXPECT_EQ(EarlierSerialKey(cut), "ABC");
  EXPECT_EQ(EarlierSerialKey("KD1A7Z4001"), "");
}

}  // namespace
}  // namespace rur
