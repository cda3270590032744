// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "monitor/ata_text.h"
#include "monitor/status_page_model.h"

namespace rur {
namespace {

StatusRecord MirroredRecord() {
  StatusRecord record{};
  record[status_offset::kArrayMode] = kModeMirroring;
  record[status_offset::kDriveFlags] = kBothPresent;
  TextToAtaString("WDC WD10EZEX", record.data() + status_offset::kHdd1Model, kModelLength);
  TextToAtaString("WD-1", record.data() + status_offset::kHdd1Serial, kSerialLength);
  TextToAtaString("ST1000DM003", record.data() + status_offset::kHdd2Model, kModelLength);
  TextToAtaString("Z1", record.data() + status_offset::kHdd2Serial, kSerialLength);
  WriteLe(record.data() + status_offset::kHdd1Capacity, 6, 1953525168);
  WriteLe(record.data() + status_offset::kHdd2Capacity, 6, 1953525168);
  WriteLe(record.data() + status_offset::kArrayCapacity, 6, 1953525168);
  record[status_offset::kEnvironmentFlags] = kSensorsValid;
  WriteLe(record.data() + status_offset::kFanSpeed, 2, 2400);
  record[status_offset::kTemperature] = 41;
  return record;
}

TEST(StatusPage, MirroredEnclosureThenMemberPulled) {
  StatusPageModel page;
  StatusRecord record = MirroredRecord();
  page.Redraw(record, "V1.00", true, true);
  const StatusPageView& view = page.view();
  EXPECT_EQ(view.mode, "Mirroring(RAID1)");
  EXPECT_EQ(view.systemCapacity, "931 GB");
  EXPECT_EQ(view.hdd1Capacity.text, "931 GB\n");
  EXPECT_EQ(view.hdd1Capacity.colour, kNavy);
  EXPECT_EQ(view.hdd2Model.text, "ST1000DM003");
  EXPECT_EQ(view.arrayState, "Normal");
  EXPECT_EQ(view.fan.text, "2400");
  EXPECT_EQ(view.temperature.colour, kBlue);
  EXPECT_TRUE(view.sensorPanelShown);

  record[status_offset::kDriveFlags] = kHdd1Present | kHdd2Absent;
  page.Redraw(record, "V1.00", true, false);
  EXPECT_EQ(view.arrayState, "Single HDD\nPresent");
  EXPECT_FALSE(view.hdd2Capacity.enabled);
  EXPECT_FALSE(view.hdd2Model.enabled);
  EXPECT_EQ(view.hdd2Model.text, "ST1000DM003");  // the last known disk, greyed

  record[status_offset::kDriveFlags] = kHdd1Absent | kHdd2Absent;
  page.Redraw(record, "V1.00", true, false);
  EXPECT_EQ(view.arrayState, "Failure");

  record[status_offset::kDriveFlags] = kHdd1Present | kHdd2Failed;
  page.Redraw(record, "V1.00", true, false);
  EXPECT_EQ(view.hdd2Capacity.colour, kRed);
  EXPECT_TRUE(view.hdd2Capacity.enabled);
  EXPECT_FALSE(view.hdd2Model.enabled);
}

TEST(StatusPage, PanelsChangeOnlyWithFlagsAndProgress) {
  StatusPageModel page;
  StatusRecord record = MirroredRecord();
  page.Redraw(record, "", false, true);
  page.view().hdd1Model.text = "marker";
  page.Redraw(record, "", false, false);
  EXPECT_EQ(page.view().hdd1Model.text, "marker");  // same flags, not forced: untouched
  page.Redraw(record, "", false, true);
  EXPECT_EQ(page.view().hdd1Model.text, "WDC WD10EZEX");

  record[status_offset::kActivityFlags] = kHdd1Rebuilding;
  record[status_offset::kActivityProgress] = 37;
  page.Redraw(record, "", false, false);
  EXPECT_EQ(page.view().arrayState, "37%\n<<<<\nRebuilding");
  EXPECT_TRUE(page.view().logButtonShown);
  page.view().arrayState = "marker";
  page.Redraw(record, "", false, false);
  EXPECT_EQ(page.view().arrayState, "marker");  // same progress: untouched
  record[status_offset::kActivityFlags] = kHdd2Rebuilding;
  record[status_offset::kActivityProgress] = 38;
  page.Redraw(record, "", false, false);
  EXPECT_EQ(page.view().arrayState, "38%\n>>>>\nRebuilding");
}

TEST(StatusPage, SensorPanelRules) {
  StatusPageModel page;
  StatusRecord record = MirroredRecord();
  const std::pair<std::uint8_t, bool> cases[] = {
      {0xA0, true}, {0xA5, true}, {0xAA, false}, {0xFF, false}, {0x00, false}};
  for (auto [environment, shown] : cases) {
    record[status_offset::kEnvironmentFlags] = environment;
    page.Redraw(record, "", true, false);
    EXPECT_EQ(page.view().sensorPanelShown, shown) << int(environment);
  }
  record[status_offset::kEnvironmentFlags] = 0xA5;
  page.Redraw(record, "", false, false);
  EXPECT_FALSE(page.view().sensorPanelShown);
  page.Redraw(record, "", true, false);
  EXPECT_EQ(page.view().fan.colour, kRed);
  EXPECT_EQ(page.view().temperature.colour, kRed);
}

}  // namespace
}  // namespace rur
