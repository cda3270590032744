// SPDX-License-Identifier: GPL-3.0-or-later
// A firmware upgrade that is cut off must not cost the controller its firmware: rurctl holds the
// signals a user can send while the flash is rewritten, a killed run leaves a flash that reads as
// invalid and a journal beside the enclosure's state that every data folder reports, and an erased
// flash can always be written again. The runs that are interrupted use the real clock (about 2 s
// for the 8 KiB image); the others the virtual one. The 8 KiB image is much shorter than the demo
// enclosure's 64 KiB firmware, so the first run of each needs --force.

#include <signal.h>
#include <sys/stat.h>

#include <regex>

#include <nlohmann/json.hpp>

#include "cli/rurctl_fixture.h"

namespace {

using namespace rur::test;
namespace fs = std::filesystem;

constexpr std::size_t kImageLength = 8192;
constexpr auto kRunLimit = std::chrono::seconds(30);
// The image's header lies in the flash's second 128-byte block; its two first blocks are the ones
// the upgrade programs last.
constexpr std::size_t kHeaderBlock = 0x80, kBlockSize = 0x80, kHeaderBlocksEnd = 0x100;
// The simulated enclosure's USB bridge names its record, kept in its state folder.
const std::string kJournalName = "firmware-upgrade-usb-1209-2760-SIM0001.journal";
const std::string kUnfinished = "Firmware upgrade of Device1 did not finish (started ";

class UpgradeSafetyTest : public RurctlTest {
 protected:
  // new.bin: the demo enclosure's own image with a newer version, so a flash that holds it was
  // written by the upgrade.
  void MakeImage() {
    const RunResult backup = Rurctl(
        "--simulate --virtual-time --sim-state base --data-dir base-data "
        "firmware-backup old.bin --length " +
        std::to_string(kImageLength));
    ASSERT_EQ(backup.status, 0) << backup.err;
    image_ = Read(dir_ / "old.bin");
    ASSERT_EQ(image_.size(), kImageLength);
    image_[0x9C] = 0x15;
    image_[0x9D] = 0x01;
    std::ofstream(dir_ / "new.bin", std::ios::binary) << image_;
  }

  // The first bytes of the simulated enclosure's flash as a state folder keeps it.
  std::string FlashHead(const std::string& state) {
    std::string flash = Read(dir_ / state / "drive1.flash");
    flash.resize(kImageLength, '\xFF');  // the file ends with the last byte that is not erased
    return flash;
  }

  // Every day log of a data folder, one after the other.
  std::string DayLogs(const std::string& data) {
    std::string all;
    if (!fs::exists(dir_ / data)) return all;
    for (const auto& entry : fs::directory_iterator(dir_ / data))
      if (entry.path().extension() == ".log") all += Read(entry.path());
    return all;
  }

  std::string image_;
};

TEST_F(UpgradeSafetyTest, KilledRunIsReportedAndTheNextRunRepairsTheFlash) {
  MakeImage();
  // Three runs at once, each killed at its own step.
  const std::vector<std::string> steps{"erase", "program", "verify"};
  std::vector<pid_t> runs;
  for (const std::string& step : steps)
    runs.push_back(StartRurctl({"--simulate", "--sim-state", "dev-" + step, "--data-dir", "data-" + step, "firmware",
                                "new.bin", "--yes", "--force"},
                               step));
  // Each is stopped as soon as its journal says its step has begun; stopped, it still holds the
  // controller.
  std::vector<bool> reached;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const std::string journal = (dir_ / ("dev-" + steps[i]) / kJournalName).string();
    reached.push_back(
        WaitUntil([&] { return Read(journal).find("step=" + steps[i] + "\n") != std::string::npos; }, kRunLimit));
    ::kill(runs[i], SIGSTOP);
  }
  // Status from another data folder sees the upgrade running (a flash without whole firmware: exit
  // bit 64), raises no alarm, writes no day log.
  const RunResult during = Rurctl("--simulate --virtual-time --sim-state dev-program --data-dir watcher status --json");
  EXPECT_EQ(during.status, 64) << during.err;
  EXPECT_EQ(during.err.find(kUnfinished), std::string::npos) << during.err;
  const auto list = nlohmann::json::parse(during.out, nullptr, false);
  ASSERT_TRUE(list.is_array() && !list.empty()) << during.out;
  EXPECT_EQ(list.back()["upgrade"], "running") << during.out;
  EXPECT_EQ(DayLogs("watcher"), "");
  for (std::size_t i = 0; i < steps.size(); ++i) {
    ::kill(runs[i], SIGKILL);
    EXPECT_EQ(WaitExit(runs[i]), 128 + SIGKILL);
    EXPECT_TRUE(reached[i]) << steps[i] << ": " << Read(dir_ / (steps[i] + "err.txt"));
  }

  for (const std::string& step : steps) {
    SCOPED_TRACE(step);
    const std::string state = "dev-" + step, data = "data-" + step;
    // The simulator kept the flash as far as the run got: erased before programming, programmed
    // before the verify. The header goes in last, so a flash cut off before it has none.
    if (step == "program") {
      EXPECT_TRUE(FlashHead(state) != image_ && FlashHead(state) != Read(dir_ / "old.bin"));
      EXPECT_EQ(FlashHead(state).substr(kHeaderBlock, kBlockSize), std::string(kBlockSize, '\xFF'));
    }
    if (step == "verify") {
      EXPECT_TRUE(FlashHead(state) == image_);
    }
    const std::string enclosure = "--simulate --virtual-time --sim-state " + state + " ";
    // A dry run tells of the interrupted upgrade and changes nothing, the day log included.
    const RunResult dry = Rurctl(enclosure + "--data-dir dry firmware new.bin --dry-run");
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.err.find(kUnfinished), std::string::npos) << dry.err;
    EXPECT_EQ(DayLogs("dry"), "");

    // Any data folder sees the same: the flash is not valid, or the upgrade is unfinished.
    for (const std::string& folder : {data, std::string("elsewhere-") + step}) {
      const RunResult next = Rurctl(enclosure + "--data-dir " + folder + " status --json");
      EXPECT_EQ(next.status & 64, 64) << next.err;
      EXPECT_NE(next.err.find(kUnfinished), std::string::npos) << next.err;
      EXPECT_NE(next.err.find("stopped at the " + step + " step"), std::string::npos) << next.err;
      EXPECT_NE(DayLogs(folder).find(kUnfinished), std::string::npos);
      const auto device = nlohmann::json::parse(next.out)[0];
      EXPECT_EQ(device["upgrade"], "unfinished");
      EXPECT_EQ(device["upgrade_step"], step);
      // Stopped before its first erase, a run may have left the old firmware whole.
      if (step != "erase") {
        EXPECT_EQ(device["firmware_valid"].get<bool>(), step == "verify");
      }
    }

    // Recovery with another image than the one the run was writing is refused, naming it.
    const std::string sim = enclosure + "--data-dir " + data + " ";
    const RunResult other = Rurctl(sim + "firmware old.bin --yes");
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("was writing another image: 8192 bytes, checksum "), std::string::npos) << other.err;
    EXPECT_NE(other.err.find("add --force"), std::string::npos) << other.err;
    EXPECT_TRUE(fs::exists(dir_ / state / kJournalName));

    const RunResult repair = Rurctl(sim + "firmware new.bin --yes");
    EXPECT_EQ(repair.status, 0) << repair.err;
    EXPECT_NE(repair.err.find("Firmware Upgrade 3/3 completed!"), std::string::npos) << repair.err;
    EXPECT_TRUE(FlashHead(state) == image_);
    EXPECT_FALSE(fs::exists(dir_ / state / kJournalName));
    const RunResult after = Rurctl(sim + "status --json");
    EXPECT_EQ(after.status & 64, 0);
    EXPECT_EQ(after.err.find(kUnfinished), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(after.out)[0]["upgrade"], "none");
  }
}

TEST_F(UpgradeSafetyTest, SignalsDuringProgrammingDoNotEndTheRun) {
  MakeImage();
  // One run per signal, all at once; each gets its signal once its programming has begun.
  const std::vector<std::pair<int, std::string>> signals{{SIGINT, "int"}, {SIGTERM, "term"}, {SIGHUP, "hup"}};
  std::vector<pid_t> runs;
  for (const auto& [signal, name] : signals)
    runs.push_back(StartRurctl({"--verbose", "--simulate", "--sim-state", "dev-" + name, "--data-dir", "data-" + name,
                                "firmware", "new.bin", "--yes", "--force"},
                               name));
  std::vector<bool> programming;
  for (std::size_t i = 0; i < signals.size(); ++i) {
    const fs::path errPath = dir_ / (signals[i].second + "err.txt");
    programming.push_back(
        WaitUntil([&] { return Read(errPath).find("SPI Erase OK") != std::string::npos; }, kRunLimit));
    ::kill(runs[i], signals[i].first);
  }
  for (std::size_t i = 0; i < signals.size(); ++i) {
    const std::string& name = signals[i].second;
    SCOPED_TRACE(name);
    const fs::path errPath = dir_ / (name + "err.txt");
    EXPECT_EQ(WaitExit(runs[i]), 0) << Read(errPath);
    ASSERT_TRUE(programming[i]);
    const std::string err = Read(errPath);
    const std::size_t notice = err.find("must not be interrupted");
    ASSERT_NE(notice, std::string::npos) << err;
    EXPECT_LT(notice, err.find("SPI Program OK"));  // told at once, not when the run ended
    EXPECT_NE(err.find("SPI Verify OK"), std::string::npos) << err;
    EXPECT_TRUE(FlashHead("dev-" + name) == image_);
    EXPECT_FALSE(fs::exists(dir_ / ("dev-" + name) / kJournalName));
    // The day log names the upgrade with both versions as it started and as it ended.
    const std::string log = DayLogs("data-" + name);
    EXPECT_TRUE(std::regex_search(log, std::regex("D1 Firmware upgrade from [0-9A-F]+ to [0-9A-F]+ started"))) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("D1 Firmware upgrade from [0-9A-F]+ to [0-9A-F]+ succeeded"))) << log;
  }
}

TEST_F(UpgradeSafetyTest, AnErasedFlashIsReportedAndCanBeWrittenAgain) {
  MakeImage();
  const std::string enclosure =
      R"({"number": 1, "type": "enclosure", "firmware": {"version": "0x14031510", "type": 1}})";
  std::ofstream(dir_ / "plain.json") << R"({"drives": [)" + enclosure + "]}";
  std::ofstream(dir_ / "failing.json") << R"({"drives": [)" + enclosure +
                                              R"(], "faults": [{"drive": 1, "kind": "fail",
                                                  "command": "spi-write", "address": 0}]})";
  ASSERT_EQ(Rurctl("--simulate=plain.json --virtual-time --sim-state dev --data-dir data firmware-backup "
                   "own.bin --length 8192")
                .status,
            0);
  std::string own = Read(dir_ / "own.bin");

  const RunResult failed = Rurctl(
      "--simulate=failing.json --virtual-time --sim-state dev --data-dir data "
      "firmware own.bin --yes --force");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("Message: SPI Program Fail."), std::string::npos) << failed.err;
  // The code went in, the header blocks (programmed last) did not.
  EXPECT_EQ(FlashHead("dev").substr(0, kHeaderBlocksEnd), std::string(kHeaderBlocksEnd, '\xFF'));

  const std::string sim = "--simulate=plain.json --virtual-time --sim-state dev --data-dir data ";
  RunResult status = Rurctl(sim + "status --json");
  ASSERT_EQ(status.status, 64) << status.err;
  EXPECT_FALSE(nlohmann::json::parse(status.out)[0]["firmware_valid"].get<bool>());

  const RunResult repair = Rurctl(sim + "firmware own.bin --yes");
  EXPECT_EQ(repair.status, 0) << repair.err;
  EXPECT_NE(repair.err.find("The controller's flash holds no valid firmware (SPI = FF, BIN = 01)"), std::string::npos)
      << repair.err;
  EXPECT_NE(DayLogs("data").find("D1 Flash holds no valid firmware image; run the firmware upgrade again, "),
            std::string::npos);
  EXPECT_TRUE(FlashHead("dev") == own);
  status = Rurctl(sim + "status --json");
  EXPECT_TRUE(nlohmann::json::parse(status.out)[0]["firmware_valid"].get<bool>());
}

TEST_F(UpgradeSafetyTest, DryRunBackupAndTheirTargets) {
  MakeImage();
  const std::string sim = "--simulate --virtual-time --sim-state base --data-dir base-data ";
  const RunResult dry = Rurctl(sim + "firmware new.bin --dry-run");
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_NE(dry.out.find("Device: Device1 (drive 1, simulated drive 1), RODE RUR Dual Bay RAID, firmware "),
            std::string::npos)
      << dry.out;
  EXPECT_NE(dry.out.find("Image:  new.bin, version 15011510, 8192 bytes, checksum "), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("Would erase 0x00000-0x07FFF (8 blocks of 4096 bytes), program 8192 bytes (64 blocks "
                         "of 128 bytes) from address 0 and read them back to verify.\nDry run: nothing was erased "
                         "or written.\n"),
            std::string::npos)
      << dry.out;
  EXPECT_TRUE(FlashHead("base") != image_);
  EXPECT_FALSE(fs::exists(dir_ / "base" / kJournalName));
  EXPECT_NE(dry.err.find("it is shorter than the firmware it replaces; the upgrade will ask once more"),
            std::string::npos)
      << dry.err;

  // Images refused before anything is erased: a header without code, and (with --yes but without
  // --force) one shorter than the firmware it replaces, however little.
  std::ofstream(dir_ / "header.bin", std::ios::binary) << image_.substr(0, 162);
  // Shorter by an eighth of the 64 KiB firmware only: still asked about.
  std::ofstream(dir_ / "cut.bin", std::ios::binary) << image_ + std::string(57344 - image_.size(), '\x5A');
  const std::pair<std::string, std::string> refusals[] = {
      {"firmware header.bin --yes", "The firmware file holds a header and no code (162 bytes)."},
      {"firmware new.bin --yes",
       "firmware: the firmware in the flash of Device1 reaches past 8192 bytes, and the image has 8192: it is "
       "shorter than the firmware it replaces; add --force with --yes"},
      {"firmware cut.bin --yes",
       "firmware: the firmware in the flash of Device1 reaches past 57344 bytes, and the image has 57344: it is "
       "shorter than the firmware it replaces; add --force with --yes"},
  };
  for (const auto& [command, text] : refusals) {
    const RunResult refused = Rurctl(sim + command);
    EXPECT_EQ(refused.status, 1) << command;
    EXPECT_NE(refused.err.find(text), std::string::npos) << refused.err;
    EXPECT_TRUE(FlashHead("base") == Read(dir_ / "old.bin")) << command;
    EXPECT_FALSE(fs::exists(dir_ / "base" / kJournalName)) << command;
  }

  // To standard output, byte for byte, with the report on standard error.
  const RunResult piped = Rurctl(sim + "firmware-backup - --length 8192");
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_TRUE(piped.out == Read(dir_ / "old.bin"));
  EXPECT_EQ(piped.err, "standard output: 8192 bytes of the flash of Device1 (drive 1)\n");

  // A device node or a FIFO is refused, and stays what it was.
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  for (const std::string target : {"fifo", "/dev/null"}) {
    const RunResult refused = Rurctl(sim + "firmware-backup " + target);
    EXPECT_EQ(refused.status, 2) << target;
    EXPECT_EQ(refused.err, "firmware-backup: " + target +
                               " exists and is not a regular file; name a new or regular file, or - for standard "
                               "output\n");
  }
  struct stat fifo {};
  ASSERT_EQ(::lstat((dir_ / "fifo").c_str(), &fifo), 0);
  EXPECT_TRUE(S_ISFIFO(fifo.st_mode));
}

}  // namespace
