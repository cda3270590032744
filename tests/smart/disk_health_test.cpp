// SPDX-License-Identifier: GPL-3.0-or-later
// The disk-health watch: which changes of a disk's SMART data are reported, that each is reported
// once (also after a restart), and what a rebuild's source check says.

#include <gtest/gtest.h>

#include "notify/mail_test_support.h"
#include "smart/disk_health_watch.h"
#include "smart/smart_pages.h"

namespace rur {
namespace {

using test::MakePages;

WatchedDisk Disk(const std::string& serial, unsigned bay = 0) { return {0, bay, {"WDC WD10EZEX", serial}}; }

DiskHealthReading Reading(std::initializer_list<test::Entry> entries) {
  const test::Pages pages = MakePages(entries);
  return *ReadDiskHealth(pages.data, pages.thresholds);
}

TEST(DiskHealth, EachWorseningIsReportedOnceAndNothingElse) {
  struct Step {
    const char* what;
    std::initializer_list<test::Entry> entries;
    std::vector<std::string> changes;  // the alarm's lines after its first
  };
  const Step steps[] = {
      {"first seen, good", {{5, 100, 100, 36, 0}, {197, 100, 100, 0, 0}, {194, 36, 50, 0, 36}}, {}},
      {"reallocated sectors appear",
       {{5, 100, 100, 36, 3}, {197, 100, 100, 0, 0}},
       {"  Attribute 5 Reallocated sector count, raw count: 0 -> 3"}},
      {"unchanged", {{5, 100, 100, 36, 3}, {197, 100, 100, 0, 0}}, {}},
      {"down", {{5, 100, 100, 36, 2}, {197, 100, 100, 0, 0}}, {}},
      {"up again to a value already reported", {{5, 100, 100, 36, 3}, {197, 100, 100, 0, 0}}, {}},
      {"a pending sector: warning",
       {{5, 100, 100, 36, 3}, {197, 100, 100, 0, 1}},
       {"  SMART verdict: Good -> Warning", "  Attribute 197 Current pending sector count, raw count: 0 -> 1"}},
      {"below its threshold: error",
       {{5, 30, 30, 36, 3}, {197, 100, 100, 0, 1}},
       {"  SMART verdict: Warning -> Error"}},
      {"back to a warning, then error again", {{5, 100, 100, 36, 3}, {197, 100, 100, 0, 1}}, {}},
      {"error again", {{5, 30, 30, 36, 3}, {197, 100, 100, 0, 1}}, {}},
      {"an uncorrectable count the disk did not show before is where growth counts from",
       {{5, 30, 30, 36, 3}, {197, 100, 100, 0, 1}, {198, 100, 100, 0, 7}},
       {}},
      {"and grows",
       {{5, 30, 30, 36, 3}, {197, 100, 100, 0, 1}, {198, 100, 100, 0, 9}},
       {"  Attribute 198 Offline scan uncorrectable count, raw count: 7 -> 9"}},
  };
  DiskHealthWatch watch;
  for (const Step& step : steps) {
    const DiskHealthReport report = watch.Check(Disk("WD-1"), Reading(step.entries));
    if (step.changes.empty()) {
      EXPECT_TRUE(report.alarmLines.empty()) << step.what;
      EXPECT_TRUE(report.logLines.empty()) << step.what;
      continue;
    }
    ASSERT_EQ(report.alarmLines.size(), step.changes.size() + 1) << step.what;
    EXPECT_EQ(report.alarmLines[0], "Device1 HDD1 disk health got worse: model \"WDC WD10EZEX\", serial \"WD-1\".");
    EXPECT_EQ(std::vector<std::string>(report.alarmLines.begin() + 1, report.alarmLines.end()), step.changes)
        << step.what;
    EXPECT_EQ(report.logLines.size(), step.changes.size()) << step.what;
  }

  // A disk first seen in a bad state is reported at once; another disk's history is its own.
  const DiskHealthReport first = watch.Check(Disk("ST-2", 1), Reading({{197, 100, 100, 0, 8}}));
  EXPECT_EQ(first.logLines,
            std::vector<std::string>{"D1 HDD2 SMART verdict Warning when first seen, serial \"ST-2\", "});
  EXPECT_EQ(first.alarmLines.back(), "  SMART verdict: Warning (when first seen)");
  const DiskHealthReport grew = watch.Check(Disk("ST-2", 1), Reading({{197, 100, 100, 0, 9}}));
  EXPECT_EQ(grew.logLines, std::vector<std::string>{
                               "D1 HDD2 attribute 197 Current pending sector count raw 8 -> 9, serial \"ST-2\", "});
}

TEST(DiskHealth, WhatWasReportedSurvivesARestartAndABadFileIsNamed) {
  mailtest::ScratchFolder folder;
  const std::string path = folder.file(kDiskHealthFileName);
  {
    DiskHealthWatch watch(path);
    std::string error;
    ASSERT_TRUE(watch.Load(error)) << error;  // no file yet
    watch.Check(Disk("WD-1"), Reading({{5, 100, 100, 36, 0}}));
    EXPECT_FALSE(watch.Check(Disk("WD-1"), Reading({{5, 30, 30, 36, 24}})).alarmLines.empty());
  }
  DiskHealthWatch again(path);
  std::string error;
  ASSERT_TRUE(again.Load(error)) << error;
  EXPECT_TRUE(again.Check(Disk("WD-1"), Reading({{5, 30, 30, 36, 24}})).alarmLines.empty());
  EXPECT_FALSE(again.Check(Disk("WD-1"), Reading({{5, 30, 30, 36, 25}})).alarmLines.empty());

  // A disk with an unreadable serial was kept under its question marks: its new key takes that
  // memory over, and another such disk starts its own.
  folder.Write(kDiskHealthFileName, "RODE RUR disk health 1\r\n" + std::string(20, '?') + "\tError\t5=24\r\n");
  DiskHealthWatch earlier(path);
  ASSERT_TRUE(earlier.Load(error)) << error;
  EXPECT_TRUE(earlier.Check(Disk("hex:" + std::string(40, 'F')), Reading({{5, 30, 30, 36, 24}})).alarmLines.empty());
  EXPECT_FALSE(
      earlier.Check(Disk("hex:" + std::string(38, 'F') + "FE"), Reading({{5, 30, 30, 36, 24}})).alarmLines.empty());

  folder.Write(kDiskHealthFileName, "RODE RUR disk health 1\r\nWD-1\tGood\t5=x\r\n");
  DiskHealthWatch broken(path);
  EXPECT_FALSE(broken.Load(error));
  EXPECT_NE(error.find("line 2 is not"), std::string::npos) << error;
}

TEST(DiskHealth, ARebuildSourceThatIsNotHealthyAsksForABackup) {
  DiskHealthWatch watch;
  EXPECT_TRUE(watch.CheckRebuildSource(Disk("WD-1"), 1, Reading({{5, 100, 100, 36, 0}})).alarmLines.empty());

  // Already reported as a warning: the rebuild is still worth a word.
  watch.Check(Disk("WD-1"), Reading({{197, 100, 100, 0, 4}}));
  const DiskHealthReport pending = watch.CheckRebuildSource(Disk("WD-1"), 1, Reading({{197, 100, 100, 0, 4}}));
  ASSERT_EQ(pending.alarmLines.size(), 2u);
  EXPECT_EQ(pending.alarmLines[0],
            "Device1 HDD2 is being rebuilt from HDD1 (model \"WDC WD10EZEX\", serial "
            "\"WD-1\"), SMART verdict Warning.");
  EXPECT_EQ(
      pending.alarmLines[1],
      "The rebuild reads every sector of HDD1; if HDD1 fails before it ends, the array is lost. Take a backup now.");
  EXPECT_EQ(pending.logLines, std::vector<std::string>{"D1 HDD1 is the source of the rebuild of HDD2, SMART verdict "
                                                       "Warning: take a backup now, serial \"WD-1\", "});

  // A good verdict with a grown count, and pages that could not be read.
  const DiskHealthReport grown = watch.CheckRebuildSource(Disk("WD-3"), 0, Reading({{5, 100, 100, 36, 1}}));
  EXPECT_TRUE(grown.alarmLines.empty());
  EXPECT_EQ(watch.CheckRebuildSource(Disk("WD-3"), 0, Reading({{5, 100, 100, 36, 2}})).alarmLines.size(), 3u);
  const DiskHealthReport unread = watch.CheckRebuildSource(Disk("WD-3"), 0, std::nullopt);
  ASSERT_FALSE(unread.alarmLines.empty());
  EXPECT_NE(unread.alarmLines[0].find("its SMART data could not be read"), std::string::npos);
}

}  // namespace
}  // namespace rur
