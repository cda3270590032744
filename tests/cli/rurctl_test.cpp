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
      {"--simulate query", "query: CODE is required\nTry rurctl query --help.\n"},
      {"--simulate query 0x17 --drive 64",
       "query: --drive takes a drive number from 0 to 63, a device path or a /dev/disk/by-id name; \"64\" names no "
       "drive (drives: /dev/sda, /dev/sdb)\n"},
      {"--simulate query 0x17 --bay 1", "query: unknown option --bay\nTry rurctl query --help.\n"},
      {"--simulate query 0x17 --drive", "query: --drive needs a value\nTry rurctl query --help.\n"},
      // Bounds: a digit above the bound must not wrap round to a small number.
      {"--simulate smart --bay 3", "smart: --bay takes 1 (HDD1) or 2 (HDD2)\nTry rurctl smart --help.\n"},
      {"--simulate smart --bay=9", "smart: --bay takes 1 (HDD1) or 2 (HDD2)\nTry rurctl smart --help.\n"},
      {"--simulate smart --bay 0", "smart: --bay takes 1 (HDD1) or 2 (HDD2)\nTry rurctl smart --help.\n"},
      {"--simulate smart --bay 18446744073709551617",
       "smart: --bay takes 1 (HDD1) or 2 (HDD2)\nTry rurctl smart --help.\n"},
      {"--simulate smart --device 65",
       "smart: --device takes a device number from 1 to 64\nTry rurctl smart --help.\n"},
      {"--simulate smart --device 1 --drive 1", "smart: --device excludes --drive\nTry rurctl smart --help.\n"},
      {"--simulate smart extra", "smart: The following argument was not expected: extra\nTry rurctl smart --help.\n"},
      {"--simulate firmware-backup - --length 0",
       "firmware-backup: --length takes a byte count from 1 to 8388608\nTry rurctl firmware-backup --help.\n"},
      {"--simulate monitor --for soon",
       "monitor: --for takes a number of seconds, at most a year\nTry rurctl monitor --help.\n"},
      {"--simulate --virtual-time monitor", "monitor: on virtual time give the span to run with --for SECONDS\n"},
      {"--simulate mail-recipients drop a@b", "mail-recipients: expected add or remove, not drop\n"},
      {"--simulate mail-set Password secret",
       "mail-set: the password is read from standard input: mail-set Password -\n"},
      {"--simulate mail-set Colour red",
       "mail-set: unknown setting Colour; the keys: Port, SMTP, UserName, Addr, TimeOut, UserID, Login, Password, "
       "EMailSend, FilePath, AllowPlainLogin, CAFile, ImplicitTLS, FanMinRPM, TempAlarm\n"},
      {"--simulate mail-set Port 70000", "mail-set: The SMTP port \"70000\" is not a port number (1 to 65535).\n"},
      // Values that would fail only when an alarm is mailed are refused when they are set.
      {"--simulate mail-set UserID " + std::string(256, 'u'), "mail-set: UserID takes at most 255 bytes, not 256\n"},
      {"--simulate mail-set FilePath ../../etc", "mail-set: FilePath takes an absolute path, not ../../etc\n"},
      {"--simulate mail-set FilePath /var/../etc", "mail-set: FilePath takes a path without .., not /var/../etc\n"},
      {"--simulate mail-set CAFile 1", "mail-set: CAFile takes an absolute path, not 1\n"},
      {"--simulate mail-set CAFile /nonexistent.pem", "mail-set: CAFile names no file: /nonexistent.pem\n"},
      {"--simulate --nope detect", "rurctl: unknown option --nope\nTry rurctl --help.\n"},
      {"--simulate= detect", "rurctl: --simulate= needs a scenario file\nTry rurctl --help.\n"},
      {"--simulate detect --data-dir", "rurctl: --data-dir needs a value\nTry rurctl --help.\n"},
      {"help frobnicate", "rurctl: unknown command frobnicate\nTry rurctl --help.\n"},
      // Files that are no regular files are not opened: a FIFO would never answer.
      {"--simulate firmware /dev/zero --dry-run",
       "firmware: /dev/zero is not a regular file (a device, a pipe or a socket), so it is not read\n"},
      // The SPI erase code, and any other that is not a status query.
      {"--simulate query 23", "query: 23 is not a status query; the codes are 10, 11, 15 and 17\n"},
      {"--simulate query 0x20", "query: 0x20 is not a status query; the codes are 10, 11, 15 and 17\n"},
      {"--simulate firmware Makefile",
       "firmware: no terminal to confirm the upgrade on; add --yes to upgrade without asking, or --dry-run to check "
       "only\n"},
      {"--simulate firmware Makefile --yes --dry-run",
       "firmware: --yes excludes --dry-run\nTry rurctl firmware --help.\n"},
      {"--trace t.txt query 0x17", "rurctl: --trace works with --simulate only\nTry rurctl --help.\n"},
      {"--simulate scenario.json",
       "rurctl: unknown command scenario.json (a scenario goes as --simulate=FILE)\nTry rurctl --help.\n"},
      {"--simulate frobnicate", "rurctl: unknown command frobnicate\nTry rurctl --help.\n"},
  };
  std::ofstream(dir_ / "Makefile") << "all:\n";
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
  EXPECT_NE(run.out.find("16 a SMART verdict Warning"), std::string::npos) << "the exit statuses are told";

  // One command's help, asked either way, names its options; the version in three ways.
  for (const char* arguments : {"help smart", "smart --help", "--simulate smart -h --bay 7"}) {
    const RunResult help = Rurctl(arguments);
    EXPECT_EQ(help.status, 0) << arguments;
    EXPECT_EQ(help.out.rfind("usage: rurctl [OPTIONS] smart [--device N | --drive D] [--bay 1|2] [--json]\n", 0), 0u)
        << help.out;
    EXPECT_NE(help.out.find("--bay 1|2"), std::string::npos);
    EXPECT_NE(help.out.find("32 a SMART verdict Error"), std::string::npos);
  }
  for (const char* arguments : {"--version", "-V", "status --version"}) {
    const RunResult version = Rurctl(arguments);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "rurctl v0.50.11-3\n");
  }
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
