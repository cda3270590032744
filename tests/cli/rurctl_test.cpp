// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl as a user runs it: the built binary on the bundled scenarios, in temporary folders.

#include "cli/rurctl_fixture.h"

namespace {

using namespace rur::test;
namespace fs = std::filesystem;

TEST_F(RurctlTest, QueryOnTheDemoTracesTheFrameAndPrintsBothSignatures) {
  const RunResult run = Rurctl("--simulate --virtual-time --trace t.txt query 0x17 --drive 1");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("result 00\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("0000  5F 5F 4B 45 4C 56 41 52 4F 34 34 31 37 43 5F 5F  |__KELVARO4417C__|"),
            std::string::npos);
  EXPECT_NE(run.out.find("01F0  5F 5F 53 41 54 41 36 47 52 41 49 44 30 31 5F 5F  |__SATA6GRAID01__|"),
            std::string::npos);
  EXPECT_NE(run.out.find("0050  02 00 00 00 00"), std::string::npos);  // mirroring, HDD1 present

  // The sixteen reads of the frame, then one poll: separator and answer block.
  EXPECT_EQ(Read(dir_ / "t.txt"),
            "1 READ 67\n1 READ 113\n1 READ 167\n1 READ 223\n1 READ 256\n1 READ 260\n1 READ 495\n1 READ 511\n"
            "1 READ 535\n1 READ 719\n1 READ 735\n1 READ 751\n1 READ 1158\n1 READ 1032\n1 READ 1024\n"
            "1 READ 1175\n1 READ 24575\n1 READ 17\n");
  EXPECT_TRUE(fs::is_directory(dir_ / "state" / "rode-rur" / "simulated"));  // the simulated run's sandbox
}

TEST_F(RurctlTest, ExitStatusFollowsTheResult) {
  struct Case {
    std::string arguments;
    int status;
    std::string firstLine;
  } cases[] = {
      {"--simulate=port-multiplier --virtual-time query 10 --drive 1", 0, "result 00"},
      {"--simulate --virtual-time query 0x11 --drive 0", 1, "result F2"},  // a plain disk never answers
      {"--simulate --virtual-time query 0x11 --drive 7", 1, "result F0"},  // no such drive
      {"--simulate=faults --virtual-time query 0x17 --drive 1", 1, "result C0"},
  };
  for (const Case& c : cases) {
    const RunResult run = Rurctl(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), c.firstLine) << c.arguments;
  }
}

TEST_F(RurctlTest, BadInputStopsBeforeAnythingStarts) {
  std::ofstream(dir_ / "bad.json") << R"({"drives": [{"number": 1, "type": "enclosure",
      "members": [{"state": [1]}, {}]}]})";
  const struct Case {
    std::string arguments;
    std::string error;
  } cases[] = {
      {"--simulate=bad.json --trace t.txt query 0x17",
       "rurctl: scenario bad.json: drives[0].members[0].state: expected a number or one of present, rebuilding, "
       "inserted, failed, absent\n"},
      {"--simulate=missing.json query 0x17", "rurctl: scenario missing.json: cannot be read\n"},
      {"--simulate query", "query: expected one query code in hexadecimal, e.g. 0x17\n"},
      {"--simulate query 0x17 --drive 64",
       "query: --drive takes a drive number from 0 to 63, a device path or a /dev/disk/by-id name; \"64\" names no "
       "drive (drives: /dev/sda, /dev/sdb)\n"},
      {"--simulate query 0x17 --bay 1", "query: unknown option --bay\n"},
      // The SPI erase code, and any other that is not a status query.
      {"--simulate query 23", "query: 23 is not a status query; the codes are 10, 11, 15 and 17\n"},
      {"--simulate query 0x20", "query: 0x20 is not a status query; the codes are 10, 11, 15 and 17\n"},
      {"--simulate firmware fw.bin",
       "firmware: no terminal to confirm the upgrade on; add --yes to upgrade without asking, or --dry-run to check "
       "only\n"},
      {"--trace t.txt query 0x17", "rurctl: --trace works with --simulate only\nTry rurctl --help.\n"},
      {"--simulate frobnicate", "rurctl: unknown command frobnicate\nTry rurctl --help.\n"},
  };
  for (const Case& c : cases) {
    const RunResult run = Rurctl(c.arguments);
    EXPECT_EQ(run.status, 2) << c.arguments;
    EXPECT_EQ(run.err, c.error) << c.arguments;
    EXPECT_EQ(run.out, "") << c.arguments;
    if (&c == &cases[1]) {  // a scenario that does not load: no trace, no data folder
      EXPECT_FALSE(fs::exists(dir_ / "t.txt"));
      EXPECT_FALSE(fs::exists(dir_ / "state"));
    }
  }
}

TEST_F(RurctlTest, HelpListsTheCommandsAndOptions) {
  const RunResult run = Rurctl("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* text : {"query CODE [--drive N]", "--simulate[=FILE]", "--sim-state DIR", "--data-dir DIR",
                           "--virtual-time", "--trace FILE"})
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
  EXPECT_EQ(Rurctl("").status, 2);
}

TEST_F(RurctlTest, SimulatedStateIsKeptBetweenRuns) {
  const RunResult first = Rurctl("--simulate --virtual-time --sim-state dev --data-dir data query 0x11 --drive 1");
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(fs::exists(dir_ / "dev" / "state.json"));
  EXPECT_TRUE(fs::exists(dir_ / "dev" / "drive1.flash"));
  EXPECT_TRUE(fs::is_directory(dir_ / "data"));
  EXPECT_FALSE(fs::exists(dir_ / "state"));

  // A changed device state is what the next run finds.
  std::string state = Read(dir_ / "dev" / "state.json");
  const std::string saved = "\"temperature\": 37";
  ASSERT_NE(state.find(saved), std::string::npos) << state;
  state.replace(state.find(saved), saved.size(), "\"temperature\": 71");
  std::ofstream(dir_ / "dev" / "state.json") << state;
  const RunResult second = Rurctl("--simulate --virtual-time --sim-state dev --data-dir data query 0x11 --drive 1");
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_NE(second.out.find("0070  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 47"), std::string::npos) << second.out;
}

}  // namespace
