#include <gtest/gtest.h>

#include "monitor/request_flags.h"
#include "monitor/status_record.h"
#include "smart/evaluate_smart.h"
#include "smart/fake_smart_controller.h"
#include "smart/read_smart_pages.h"
#include "smart/smart_pages.h"
#include "smart/smart_tick.h"

namespace rur {
namespace {

using test::Entry;
using test::FakeSmartController;
using test::FakeSmartEnclosure;
using test::SeenCommand;

struct SmartPassTest : ::testing::Test {
  FakeSmartController controller;
  VirtualClock clock;
  Ui ui;
  ControllerChannel channel{controller, clock, ui};
  SmartState state;

  // Pages of one disk as a controller port returns them; the bytes past the attribute table carry
  // a pattern so that every chunk lands in its place.
  static void FillPort(FakeSmartEnclosure& enclosure, unsigned port, std::initializer_list<Entry> entries,
                       std::uint8_t seed) {
    test::Pages pages = test::MakePages(entries);
    for (std::size_t i = 362; i < kSmartPageSize; ++i) {
      pages.data[i] = static_cast<std::uint8_t>(i * 7 + seed);
      pages.thresholds[i] = static_cast<std::uint8_t>(i * 3 + seed);
    }
    enclosure.data[port] = pages.data;
    enclosure.thresholds[port] = pages.thresholds;
  }

  std::size_t Count(std::uint8_t opcode, std::uint8_t port, std::uint8_t chunk = 0) const {
    std::size_t n = 0;
    for (const SeenCommand& c : controller.seen)
      if (c.opcode == opcode && c.port == port && c.chunk == chunk) ++n;
    return n;
  }
};

TEST_F(SmartPassTest, PagesOfEveryBayComeFromItsPortAndDecode) {
  FakeSmartEnclosure& first = controller.add(1);
  FillPort(first, 0, {{1, 117, 99, 6, 0x0A1B2C}, {5, 100, 100, 36, 0}, {9, 91, 91, 0, 8123}}, 1);
  FillPort(first, 1, {{3, 97, 96, 0, 0}, {0xC2, 36, 20, 0, 0x0028000E0024ull}}, 2);
  FakeSmartEnclosure& second = controller.add(3);
  FillPort(second, 0, {{0xC5, 100, 100, 0, 4}}, 3);
  FillPort(second, 1, {{0xBE, 64, 44, 45, 0x2C1436}, {0x0C, 100, 100, 20, 312}}, 4);
  const SmartEnclosure enclosures[] = {{1, kBothPresent, false}, {3, kBothPresent, true}};

  EXPECT_EQ(ReadSmartPages(SMART_READ_THRESHOLDS, channel, enclosures, state), 1);
  EXPECT_TRUE(state.thresholdsValid);
  EXPECT_EQ(ReadSmartPages(SMART_READ_DATA, channel, enclosures, state), 1);

  // The second enclosure has its members the other way round: bay 0 is port 1.
  EXPECT_EQ(state.store[0][0].data, first.data[0]);
  EXPECT_EQ(state.store[0][1].data, first.data[1]);
  EXPECT_EQ(state.store[1][0].data, second.data[1]);
  EXPECT_EQ(state.store[1][1].data, second.data[0]);
  EXPECT_EQ(state.store[0][1].thresholds, first.thresholds[1]);
  EXPECT_EQ(state.store[1][0].thresholds, second.thresholds[1]);

  // Each page is one issue, with the SMART command in its register FIS, then chunks 1 to 4.
  ASSERT_EQ(controller.seen.size(), 2u * 2 * 2 * 5);
  const std::vector<SeenCommand> firstPage(controller.seen.begin(), controller.seen.begin() + 5);
  const std::vector<SeenCommand> expected{{1, CMD_ATA_ISSUE, SMART_READ_THRESHOLDS, 0, 0, ATA_SMART, 0xD1},
                                          {1, CMD_ATA_FETCH, SMART_READ_THRESHOLDS, 0, 1},
                                          {1, CMD_ATA_FETCH, SMART_READ_THRESHOLDS, 0, 2},
                                          {1, CMD_ATA_FETCH, SMART_READ_THRESHOLDS, 0, 3},
                                          {1, CMD_ATA_FETCH, SMART_READ_THRESHOLDS, 0, 4}};
  EXPECT_EQ(firstPage, expected);
  EXPECT_TRUE(controller.onlyReads());

  // What the page shows for the first enclosure's HDD2 and the second's HDD1.
  state.smartBay = 1;
  SmartPageModel model = EvaluateSmart(state, 0, "");
  ASSERT_EQ(model.rowCount, 2u);
  EXPECT_EQ(model.rows[0].cells, (std::array<std::string, 6>{"03-Spinup time", "97", "96", "0", "000000000000",
                                                              "Good"}));
  EXPECT_EQ(model.rows[1].cells[kColumnRaw], "0028000E0024");
  state.smartBay = 0;
  model = EvaluateSmart(state, 1, "");
  ASSERT_EQ(model.rowCount, 2u);
  EXPECT_EQ(model.rows[0].cells, (std::array<std::string, 6>{"BE-Airflow Temperature", "64", "44", "45",
                                                              "0000002C1436", "Alert"}));
  EXPECT_EQ(model.rows[1].cells[kColumnRaw], "000000000138");
  EXPECT_EQ(model.verdict, " Warning ");
}

TEST_F(SmartPassTest, EmptyBaysAreZeroedWithoutACommand) {
  FakeSmartEnclosure& enclosure = controller.add(2);
  FillPort(enclosure, 0, {{5, 100, 100, 36, 0}}, 1);
  for (auto& bay : state.store[0]) {
    bay.data.fill(0xEE);
    bay.thresholds.fill(0xEE);
  }
  // HDD2 is absent, and a member that is only inserted or failed counts as no disk either.
  const SmartEnclosure hdd1Only[] = {{2, kHdd1Present | kHdd2Absent, false}};
  EXPECT_EQ(ReadSmartPages(SMART_READ_THRESHOLDS, channel, hdd1Only, state), 1);
  EXPECT_EQ(state.store[0][0].thresholds, enclosure.thresholds[0]);
  EXPECT_EQ(state.store[0][1].thresholds, SmartPage{});
  EXPECT_EQ(state.store[0][1].data[100], 0xEE);  // the other kind is left alone
  EXPECT_EQ(Count(CMD_ATA_ISSUE, 1), 0u);

  const SmartEnclosure noDisk[] = {{2, kHdd1Inserted | kHdd2Failed, false}};
  EXPECT_EQ(ReadSmartPages(SMART_READ_DATA, channel, noDisk, state), 1);
  EXPECT_EQ(ReadSmartPages(SMART_READ_THRESHOLDS, channel, noDisk, state), 1);
  EXPECT_TRUE(state.thresholdsValid);
  for (const auto& bay : state.store[0]) {
    EXPECT_EQ(bay.data, SmartPage{});
    EXPECT_EQ(bay.thresholds, SmartPage{});
  }
  EXPECT_EQ(controller.seen.size(), 5u);  // only the first pass's HDD1 page
  for (unsigned bay : {0u, 1u}) {
    state.smartBay = bay;
    const SmartPageModel model = EvaluateSmart(state, 0, "");
    EXPECT_FALSE(model.gridVisible);
    EXPECT_EQ(model.verdict, "");
  }
}

TEST_F(SmartPassTest, AChunkGivenUpLeavesThresholdsInvalidUntilAWholePassGetsThrough) {
  FakeSmartEnclosure& enclosure = controller.add(1);
  FillPort(enclosure, 0, {{5, 100, 100, 36, 0}}, 1);
  FillPort(enclosure, 1, {{5, 100, 100, 36, 0}}, 2);
  state.store[0][0].thresholds.fill(0xEE);
  controller.fails = [](const SeenCommand& c) {
    return c.opcode == CMD_ATA_FETCH && c.kind == SMART_READ_THRESHOLDS && c.port == 0 && c.chunk == 2;
  };
  const SmartEnclosure enclosures[] = {{1, kBothPresent, false}};
  state.thresholdsValid = true;
  EXPECT_EQ(ReadSmartPages(SMART_READ_THRESHOLDS, channel, enclosures, state), 1);
  EXPECT_FALSE(state.thresholdsValid);
  EXPECT_EQ(Count(CMD_ATA_FETCH, 0, 2), kSmartAttempts);
  EXPECT_EQ(Count(CMD_ATA_FETCH, 0, 3), 1u);  // the pass goes on with the next chunk
  const SmartPage& page = state.store[0][0].thresholds;
  EXPECT_TRUE(std::equal(page.begin(), page.begin() + 128, enclosure.thresholds[0].begin()));
  EXPECT_TRUE(std::all_of(page.begin() + 128, page.begin() + 256, [](std::uint8_t b) { return b == 0xEE; }));
  EXPECT_TRUE(std::equal(page.begin() + 256, page.end(), enclosure.thresholds[0].begin() + 256));
  EXPECT_EQ(state.store[0][1].thresholds, enclosure.thresholds[1]);

  // The next data request asks for the thresholds too.
  state.smartCountdown = 0;
  EXPECT_EQ(SmartTick(state, {false, false, MONITOR_ARMED}).raise, REQ_SMART_DATA | REQ_SMART_THRESHOLDS);

  // Three failures in a row are retried through; the count starts again after every success.
  controller.seen.clear();
  int failuresLeft = 3;
  controller.fails = [&failuresLeft](const SeenCommand& c) {
    return c.opcode == CMD_ATA_FETCH && c.chunk == 3 && failuresLeft-- > 0;
  };
  EXPECT_EQ(ReadSmartPages(SMART_READ_THRESHOLDS, channel, enclosures, state), 1);
  EXPECT_TRUE(state.thresholdsValid);
  EXPECT_EQ(state.store[0][0].thresholds, enclosure.thresholds[0]);
  EXPECT_EQ(Count(CMD_ATA_FETCH, 0, 3), 4u);
  EXPECT_EQ(Count(CMD_ATA_FETCH, 1, 3), 1u);
  state.smartCountdown = 0;
  EXPECT_EQ(SmartTick(state, {false, false, MONITOR_ARMED}).raise, REQ_SMART_DATA);
}

TEST_F(SmartPassTest, AnIssueGivenUpLeavesThePageAndDataFailuresAreNotRemembered) {
  FakeSmartEnclosure& enclosure = controller.add(1);
  FillPort(enclosure, 0, {{5, 100, 100, 36, 0}}, 1);
  FillPort(enclosure, 1, {{5, 100, 100, 36, 9}}, 2);
  state.store[0][1].data.fill(0xEE);
  state.thresholdsValid = true;
  controller.fails = [](const SeenCommand& c) { return c.opcode == CMD_ATA_ISSUE && c.port == 1; };
  const SmartEnclosure enclosures[] = {{1, kBothPresent, false}};
  EXPECT_EQ(ReadSmartPages(SMART_READ_DATA, channel, enclosures, state), 1);
  EXPECT_EQ(Count(CMD_ATA_ISSUE, 1), kSmartAttempts);
  for (std::uint8_t chunk = 1; chunk <= 4; ++chunk) EXPECT_EQ(Count(CMD_ATA_FETCH, 1, chunk), 0u);
  EXPECT_TRUE(std::all_of(state.store[0][1].data.begin(), state.store[0][1].data.end(),
                          [](std::uint8_t b) { return b == 0xEE; }));
  EXPECT_EQ(state.store[0][0].data, enclosure.data[0]);
  EXPECT_TRUE(state.thresholdsValid);
}

TEST_F(SmartPassTest, OnlyTheFirstTwoEnclosuresAreRead) {
  for (unsigned drive : {1u, 4u, 6u}) FillPort(controller.add(drive), 0, {{9, 100, 100, 0, drive}}, 0);
  EXPECT_EQ(ReadSmartPages(SMART_READ_DATA, channel, {}, state), 0);
  EXPECT_TRUE(controller.seen.empty());

  const SmartEnclosure enclosures[] = {{1, kHdd1Present, false}, {4, kHdd1Present, false}, {6, kHdd1Present, false}};
  EXPECT_EQ(ReadSmartPages(SMART_READ_DATA, channel, enclosures, state), 1);
  for (const SeenCommand& c : controller.seen) EXPECT_NE(c.drive, 6u);
  EXPECT_EQ(controller.seen.size(), 10u);
  EXPECT_EQ(ReadSmartAttribute(state.store[1][0].data, state.store[1][0].thresholds, 0).raw[0], 4);
}

}  // namespace
}  // namespace rur
