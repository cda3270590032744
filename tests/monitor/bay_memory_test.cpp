// SPDX-License-Identifier: GPL-3.0-or-later
// Which disk sits in which bay: a disk replaced in a bay is noticed, in one run and across
// restarts, and an enclosure is known by its disks whatever drive number it gets.

#include <gtest/gtest.h>

#include "monitor/bay_memory.h"
#include "notify/mail_test_support.h"

namespace rur {
namespace {

TEST(BayMemory, AReplacedDiskIsNoticedInTheRunAndAfterARestart) {
  mailtest::ScratchFolder folder;
  const std::string path = folder.file(kBayMemoryFileName);
  struct Step {
    unsigned drive;
    std::array<std::string, 2> serials;
    std::vector<std::string> replaced;  // "bay: old -> new"
    bool restartBefore = false;
  };
  const Step steps[] = {
      {1, {"A", "B"}, {}},
      {1, {"A", ""}, {}},              // HDD2 pulled: nothing is forgotten
      {1, {"A", "C"}, {"1: B -> C"}},  // another disk comes back
      {1, {"A", "C"}, {}},
      {4, {"X", "Y"}, {}},                   // a second enclosure
      {3, {"A", "D"}, {"1: C -> D"}, true},  // after a restart, on another drive, known by HDD1
      {4, {"", "Y"}, {}},
      {4, {"Z", "Y"}, {"0: X -> Z"}},
  };
  auto memory = std::make_unique<BayMemory>(path);
  for (const Step& step : steps) {
    std::string error;
    if (step.restartBefore) {
      memory = std::make_unique<BayMemory>(path);
      ASSERT_TRUE(memory->Load(error)) << error;
    }
    std::vector<std::string> replaced;
    for (const BayReplacement& r : memory->Observe(step.drive, step.serials, error))
      replaced.push_back(std::to_string(r.bay) + ": " + r.oldSerial + " -> " + r.newSerial);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(replaced, step.replaced) << step.serials[0] << " " << step.serials[1];
  }
  EXPECT_EQ(memory->enclosures().size(), 2u);

  folder.Write(kBayMemoryFileName, "something else\r\n");
  BayMemory broken(path);
  std::string error;
  EXPECT_FALSE(broken.Load(error));
  EXPECT_NE(error.find("not a bay memory file"), std::string::npos);
}

TEST(BayMemory, UnreadableSerialsAreTwoDisksAndEarlierKeysCarryOver) {
  mailtest::ScratchFolder folder;
  const std::string ff = "hex:" + std::string(40, 'F');
  const std::string fe = "hex:" + std::string(38, 'F') + "FE";
  // A file of before: the unreadable serial kept as its question marks.
  folder.Write(kBayMemoryFileName, "RODE RUR bays 2\r\n" + std::string(20, '?') + "\tB\t-\r\n");
  BayMemory memory(folder.file(kBayMemoryFileName));
  std::string error;
  ASSERT_TRUE(memory.Load(error)) << error;
  // The same disk under its new key: no replacement, and the file takes the new key.
  EXPECT_TRUE(memory.Observe(1, {ff, "B"}, error).empty());
  // Another enclosure whose disk's serial shows as the same question marks is not taken for it.
  EXPECT_TRUE(memory.Observe(2, {fe, "C"}, error).empty());
  EXPECT_TRUE(error.empty()) << error;
  ASSERT_EQ(memory.enclosures().size(), 2u);
  EXPECT_EQ(memory.enclosures()[0][0], ff);
  EXPECT_EQ(memory.enclosures()[1][0], fe);
  BayMemory again(folder.file(kBayMemoryFileName));
  ASSERT_TRUE(again.Load(error)) << error;
  EXPECT_EQ(again.enclosures(), memory.enclosures());
}

}  // namespace
}  // namespace rur
