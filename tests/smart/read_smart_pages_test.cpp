// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "monitor/request_flags.h"
#include "monitor/status_record.h"
#include "platform/clock.h"
#include "platform/user_interface.h"
#include "smart/evaluate_smart.h"
#include "smart/fake_smart_controller.h"
#include "smart/read_smart_pages.h"
#include "smart/smart_pages.h"
#include "smart/smart_tick.h"

namespace rur {
namespace {

using test::Entry;
using test::SeenCommand;

struct SmartPassTest : ::testing::Test {
  test::FakeSmartController controller;
  VirtualClock clock;
  Ui ui;
  ControllerChannel channel{controller, clock, ui};
  SmartState state;

  // A disk's pages behind a port; the bytes past the attribute table carry a pattern, so every
  // chunk has to land in its place.
  static void FillPort(test::FakeSmartEnclosure& enclosure, unsigned port, std::initializer_list<Entry> entries) {
    test::Pages pages = test::MakePages(entries);
    for (std::size_t i = 362; i < kSmartPageSize; ++i) {
      pages.data[i] = static_cast<std::uint8_t>(i * 7 + port);
      pages.thresholds[i] = static_cast<std::uint8_t>(i * 3 + port);
    }
    enclosure.data[port] = pages.data;
    enclosure.thresholds[port] = pages.thresholds;
  }
  std::size_t Count(std::uint8_t opcode, std::uint8_t kind, std::uint8_t port, std::uint8_t chunk = 0) const {
    return std::count_if(controller.seen.begin(), controller.seen.end(), [&](const SeenCommand& c) {
      return c.opcode == opcode && c.kind == kind && c.port == port && c.chunk == chunk;
    });
  }
};

TEST_F(SmartPassTest, PagesOfEveryBayComeFromItsPortAndDecode) {
  auto& first = controller.add(1);
  FillPort(first, 0, {{1, 117, 99, 6, 0x0A1B2C}, {5, 100, 100, 36, 0}});
  FillPort(first, 1, {{3, 97, 96, 0, 0}, {0xC2, 36, 20, 0, 0x0028000E0024ull}});
  auto& second = controller.add(3);
  FillPort(second, 0, {{0xC5, 100, 100, 0, 4}});
  FillPort(second, 1, {{0xBE, 64, 44, 45, 0x2C1436}, {0x0C, 100, 100, 20, 312}});
  // The second enclosure has its members the other way round: bay 0 is port 1.
  DeviceTable devices;
  devices.current = {kEntryAccepted | 1, kEntryAccepted | 3};
  devices.currentCount = 2;
  devices.currentInfo[1].memberOrder = true;
  std::array<StatusRecord, kStatusRecordSlots> records{};
  records[1][status_offset::kDriveFlags] = records[3][status_offset::kDriveFlags] = kBothPresent;
  const std::vector<SmartEnclosure> enclosures = SmartEnclosures(devices, records);

  EXPECT_EQ(ReadSmartPages(SMART_READ_THRESHOLDS, channel, enclosures, state), 1);
  EXPECT_TRUE(state.thresholdsValid);
  EXPECT_EQ(ReadSmartPages(SMART_READ_DATA, channel, enclosures, state), 1);
  for (unsigned bay : {0u, 1u}) {
    EXPECT_EQ(state.store[0][bay].data, first.data[bay]);
    EXPECT_EQ(state.store[0][bay].thresholds, first.thresholds[bay]);
    EXPECT_EQ(state.store[1][bay].data, second.data[1 - bay]);
    EXPECT_EQ(state.store[1][bay].thresholds, second.thresholds[1 - bay]);
  }

  // Each page is one issue carrying the SMART feature in its register FIS, then chunks 1 to 4.
  ASSERT_EQ(controller.seen.size(), 2u * 2 * 2 * 5);
  const std::vector<SeenCommand> firstPage(controller.seen.begin(), controller.seen.begin() + 5);
  EXPECT_EQ(firstPage, (std::vector<SeenCommand>{{1, CMD_ATA_ISSUE, 0xD1, 0, 0, 0xD1},
                                                 {1, CMD_ATA_FETCH, 0xD1, 0, 1},
                                                 {1, CMD_ATA_FETCH, 0xD1, 0, 2},
                                                 {1, CMD_ATA_FETCH, 0xD1, 0, 3},
                                                 {1, CMD_ATA_FETCH, 0xD1, 0, 4}}));
  EXPECT_TRUE(controller.onlyReads());

  state.smartBay = 1;
  SmartPageModel model = EvaluateSmart(state, 0, "");
  ASSERT_EQ(model.rowCount, 2u);
  EXPECT_EQ(model.rows[0].cells,
            (std::array<std::string, 6>{"03-Spinup time", "97", "96", "0", "000000000000", "Good"}));
  EXPECT_EQ(model.rows[1].cells[kColumnRaw], "0028000E0024");
  state.smartBay = 0;
  model = EvaluateSmart(state, 1, "");
  ASSERT_EQ(model.rowCount, 2u);
  EXPECT_EQ(model.rows[0].cells,
            (std::array<std::string, 6>{"BE-Airflow Temperature", "64", "44", "45", "0000002C1436", "Alert"}));
  EXPECT_EQ(model.rows[1].cells[kColumnRaw], "000000000138");
}

TEST_F(SmartPassTest, EmptyBaysAreZeroedWithoutACommandAndEveryEnclosureIsRead) {
  auto& first = controller.add(2);
  FillPort(first, 0, {{5, 100, 100, 36, 1}});
  for (unsigned drive : {4u, 6u}) FillPort(controller.add(drive), 0, {{5, 100, 100, 36, drive}});
  for (auto& bay : state.store[0]) bay.data.fill(0xEE), bay.thresholds.fill(0xEE);
  EXPECT_EQ(ReadSmartPages(SMART_READ_DATA, channel, {}, state), 0);

  // A member that is absent, only inserted or failed counts as no disk.
  const SmartEnclosure enclosures[] = {
      {2, kHdd1Present | kHdd2Absent, false}, {4, kHdd1Inserted | kHdd2Failed, false}, {6, kHdd1Present, false}};
  EXPECT_EQ(ReadSmartPages(SMART_READ_THRESHOLDS, channel, enclosures, state), 1);
  EXPECT_TRUE(state.thresholdsValid);
  EXPECT_EQ(state.store[0][1].thresholds, SmartPage{});
  EXPECT_EQ(state.store[0][1].data[100], 0xEE);  // the other kind is left alone
  EXPECT_EQ(ReadSmartPages(SMART_READ_DATA, channel, enclosures, state), 1);
  EXPECT_EQ(state.store[0][0].data, first.data[0]);
  EXPECT_EQ(state.store[0][1].data, SmartPage{});
  EXPECT_EQ(state.store[1][0].data, SmartPage{});
  EXPECT_NE(state.store[2][0].data, SmartPage{});  // a third enclosure is read as well
  EXPECT_EQ(controller.seen.size(), 20u);          // HDD1 of the first and the third enclosure, once per kind
  for (const SeenCommand& c : controller.seen) EXPECT_TRUE(c.drive == 2u || c.drive == 6u);

  state.smartBay = 1;
  const SmartPageModel model = EvaluateSmart(state, 0, "");
  EXPECT_FALSE(model.gridVisible);
  EXPECT_EQ(model.verdict, "");
}

TEST_F(SmartPassTest, GivenUpAttemptsKeepOldBytesAndLeaveThresholdsInvalid) {
  auto& enclosure = controller.add(1);
  FillPort(enclosure, 0, {{5, 100, 100, 36, 0}});
  FillPort(enclosure, 1, {{5, 100, 100, 36, 9}});
  state.store[0][0].thresholds.fill(0xEE);
  state.store[0][1].data.fill(0xEE);
  const SmartEnclosure enclosures[] = {{1, kBothPresent, false}};
  controller.fails = [](const SeenCommand& c) {
    return (c.opcode == CMD_ATA_FETCH && c.kind == SMART_READ_THRESHOLDS && c.port == 0 && c.chunk == 2) ||
           (c.opcode == CMD_ATA_ISSUE && c.kind == SMART_READ_DATA && c.port == 1);
  };
  state.thresholdsValid = true;
  EXPECT_EQ(ReadSmartPages(SMART_READ_THRESHOLDS, channel, enclosures, state), 1);
  EXPECT_FALSE(state.thresholdsValid);
  EXPECT_EQ(Count(CMD_ATA_FETCH, SMART_READ_THRESHOLDS, 0, 2), kSmartAttempts);
  const SmartPage& page = state.store[0][0].thresholds;
  EXPECT_TRUE(std::equal(page.begin(), page.begin() + 128, enclosure.thresholds[0].begin()));
  EXPECT_TRUE(std::all_of(page.begin() + 128, page.begin() + 256, [](std::uint8_t b) { return b == 0xEE; }));
  EXPECT_TRUE(std::equal(page.begin() + 256, page.end(), enclosure.thresholds[0].begin() + 256));
  EXPECT_EQ(state.store[0][1].thresholds, enclosure.thresholds[1]);

  // The next data request brings the thresholds along.
  state.smartCountdown = 0;
  EXPECT_EQ(SmartTick(state, {false, false, MONITOR_ARMED}).raise, REQ_SMART_DATA | REQ_SMART_THRESHOLDS);

  // A data pass whose issue is given up keeps the page and is not remembered.
  EXPECT_EQ(ReadSmartPages(SMART_READ_DATA, channel, enclosures, state), 1);
  EXPECT_EQ(Count(CMD_ATA_ISSUE, SMART_READ_DATA, 1), kSmartAttempts);
  EXPECT_EQ(Count(CMD_ATA_FETCH, SMART_READ_DATA, 1, 1), 0u);
  EXPECT_EQ(state.store[0][1].data[200], 0xEE);
  EXPECT_FALSE(state.thresholdsValid);

  // Three failures in a row are retried through: the count restarts after every success.
  controller.seen.clear();
  int failuresLeft = 3;
  controller.fails = [&](const SeenCommand& c) { return c.chunk == 3 && failuresLeft-- > 0; };
  EXPECT_EQ(ReadSmartPages(SMART_READ_THRESHOLDS, channel, enclosures, state), 1);
  EXPECT_TRUE(state.thresholdsValid);
  EXPECT_EQ(state.store[0][0].thresholds, enclosure.thresholds[0]);
  EXPECT_EQ(Count(CMD_ATA_FETCH, SMART_READ_THRESHOLDS, 0, 3), 4u);
}

}  // namespace
}  // namespace rur
