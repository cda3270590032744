// SPDX-License-Identifier: GPL-3.0-or-later
// The engine-driven rurctl commands on the bundled scenarios, on virtual time.

#include <nlohmann/json.hpp>

#include "cli/rurctl_fixture.h"

namespace {

using namespace rur::test;
namespace fs = std::filesystem;

constexpr const char* kRun = "--virtual-time --data-dir data ";

TEST_F(RurctlTest, DetectAndStatusOnTheBundledScenarios) {
  RunResult detect = Rurctl(std::string("--simulate ") + kRun + "detect");
  EXPECT_EQ(detect.status, 0) << detect.err;
  EXPECT_EQ(detect.out, "Device1 drive=1 kind=0 product=RODE RUR Dual Bay RAID\n");

  detect = Rurctl(std::string("--simulate=port-multiplier ") + kRun + "detect");
  EXPECT_NE(detect.out.find("kind=1"), std::string::npos) << detect.out;

  RunResult status = Rurctl(std::string("--simulate ") + kRun + "status --json");
  ASSERT_EQ(status.status, 0) << status.err;
  const auto devices = nlohmann::json::parse(status.out);
  ASSERT_EQ(devices.size(), 1u);
  const auto& device = devices[0];
  EXPECT_EQ(device["mode_text"], "Mirroring(RAID1)");
  EXPECT_EQ(device["array_state"], "Normal");
  EXPECT_EQ(device["drive"], 1);
  EXPECT_EQ(device["members"].size(), 2u);
  EXPECT_EQ(device["members"][1]["state"], "present");
  EXPECT_EQ(device["capacity_text"], "931 GB");
  EXPECT_TRUE(device["sensor_shown"].get<bool>());

  status = Rurctl(std::string("--simulate=two-enclosures ") + kRun + "status --json");
  ASSERT_EQ(status.status, 0) << status.err;
  EXPECT_EQ(nlohmann::json::parse(status.out).size(), 2u);
  // Looking leaves no trace in the day's log.
  EXPECT_TRUE(fs::is_empty(dir_ / "data") || !fs::exists(dir_ / "data" / "260314.log"));
}

TEST_F(RurctlTest, MonitorWritesTheDemoDayLog) {
  const RunResult run = Rurctl(std::string("--simulate ") + kRun + "monitor --for 400");
  ASSERT_EQ(run.status, 0) << run.err;
  const RunResult log = Rurctl(std::string("--simulate ") + kRun + "log");
  ASSERT_EQ(log.status, 0) << log.err;
  std::string logLines;  // what monitor printed, without its alarm lines
  std::istringstream printed(run.out);
  for (std::string line; std::getline(printed, line);)
    if (line.rfind("Alarm: ", 0) != 0) logLines += line + "\n";
  EXPECT_EQ(log.out, logLines);  // every log line printed is a line of the file, in order
  for (const char* line : {"RODE RUR v0.50.11-3 has started from ", "D1 HDD2 was removed, 05",
                           "D1 HDD2 was inserted, 06", "D1 HDD2 was initialized, (SATA), 01",
                           "D1 HDD1 --> HDD2 50%, ", "D1 HDD1 --> HDD2 Done, "})
    EXPECT_NE(log.out.find(line), std::string::npos) << line;
  EXPECT_NE(run.out.find("Alarm: Device1 P1 Hard Disk Drive fail."), std::string::npos);
  EXPECT_EQ(Rurctl(std::string("--simulate ") + kRun + "log nowhere.log").status, 1);
}

TEST_F(RurctlTest, SmartGridMatchesTheSimulatedPages) {
  const RunResult run = Rurctl(std::string("--simulate ") + kRun + "smart --bay 2 --json");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto grid = nlohmann::json::parse(run.out);
  EXPECT_EQ(grid["bay"], 2);
  EXPECT_EQ(grid["verdict"], " Good ");
  ASSERT_GT(grid["rows"].size(), 5u);
  const auto& hours = *std::find_if(grid["rows"].begin(), grid["rows"].end(),
                                    [](const auto& row) { return row["id"] == 9; });
  EXPECT_EQ(hours["name"], "09-Power-on hours count");
  EXPECT_EQ(hours["raw"].get<std::string>().size(), 12u);
  EXPECT_EQ(hours["colour"], "FFFFFF");

  const RunResult dump = Rurctl(std::string("--simulate ") + kRun + "dump-smart");
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(fs::file_size(dir_ / "data" / "dSMART00.bin"), 1024u);
  EXPECT_EQ(fs::file_size(dir_ / "data" / "sSMART00.bin"), 1024u);
}

TEST_F(RurctlTest, FirmwareUpgradeSurvivesARestart) {
  const std::string sim = std::string("--simulate --sim-state dev ") + kRun;
  RunResult backup = Rurctl(sim + "firmware-backup old.bin --length 65536");
  ASSERT_EQ(backup.status, 0) << backup.err;
  ASSERT_EQ(fs::file_size(dir_ / "old.bin"), 65536u);

  // A new version of the same image: version field at 0x9C, most significant byte first.
  std::string image = Read(dir_ / "old.bin");
  image[0x9C] = 0x15;
  image[0x9D] = 0x01;
  image[0x9E] = 0x02;
  image[0x9F] = 0x03;
  std::ofstream(dir_ / "new.bin", std::ios::binary) << image;
  const RunResult upgrade = Rurctl(sim + "firmware new.bin");
  ASSERT_EQ(upgrade.status, 0) << upgrade.err;
  EXPECT_NE(upgrade.err.find("Firmware Upgrade 3/3 completed!"), std::string::npos) << upgrade.err;

  const RunResult status = Rurctl(sim + "status --json");
  ASSERT_EQ(status.status, 0) << status.err;
  EXPECT_EQ(nlohmann::json::parse(status.out)[0]["firmware"], "150102.3");

  std::ofstream(dir_ / "short.bin") << "too short";
  EXPECT_EQ(Rurctl(sim + "firmware short.bin").status, 1);
  EXPECT_EQ(Rurctl(sim + "firmware new.bin --device 2").status, 1);
}

}  // namespace

namespace {

using namespace rur::test;

// Five minutes of the demo and of two enclosures (one unplugged and plugged back) give exactly the
// day files kept in tests/data/golden: banner, information blocks, member and rebuild lines, and
// the device-change lines, CR LF ended.
TEST_F(RurctlTest, MonitorDayFilesMatchTheGoldenFiles) {
  for (const std::string scenario : {"demo", "two-enclosures"}) {
    const RunResult run = Rurctl("--simulate=" + scenario + " --virtual-time --data-dir " + scenario +
                                 " monitor --for 300");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string written = Read(dir_ / scenario / "260314.log");
    const std::string golden = Read(std::filesystem::path(RUR_TEST_DATA_DIR) / "golden" / (scenario + ".log"));
    EXPECT_FALSE(golden.empty());
    EXPECT_EQ(written, golden) << scenario;
  }
}

}  // namespace

#include "emulator/scenario.h"

namespace {

using namespace rur::test;

// The attributes the simulated disks carry are the numbers rurctl reads back through the
// controller: value, worst, threshold and the raw value, for every attribute of both bays.
TEST_F(RurctlTest, SmartNumbersAreTheSimulatedDisksOwn) {
  rur::sim::Scenario scenario;
  std::string error;
  ASSERT_TRUE(rur::sim::LoadScenarioFile(rur::sim::BundledScenarioPath("demo"), scenario, error)) << error;
  const auto drive = std::find_if(scenario.drives.begin(), scenario.drives.end(),
                                  [](const auto& d) { return d.type == rur::sim::DriveType::Enclosure; });
  ASSERT_NE(drive, scenario.drives.end());
  for (unsigned bay = 1; bay <= 2; ++bay) {
    const RunResult run = Rurctl("--simulate --virtual-time --data-dir data smart --bay " + std::to_string(bay) +
                                 " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = nlohmann::json::parse(run.out)["rows"];
    const auto& attributes = drive->enclosure.members[bay - 1].disk.smart;
    ASSERT_EQ(rows.size(), attributes.size());
    for (std::size_t i = 0; i < attributes.size(); ++i) {
      char raw[16];
      std::snprintf(raw, sizeof raw, "%012llX", static_cast<unsigned long long>(attributes[i].raw));
      EXPECT_EQ(rows[i]["id"], attributes[i].id);
      EXPECT_EQ(rows[i]["value"], attributes[i].value);
      EXPECT_EQ(rows[i]["worst"], attributes[i].worst);
      EXPECT_EQ(rows[i]["threshold"], attributes[i].threshold);
      EXPECT_EQ(rows[i]["raw"], raw) << "attribute " << int(attributes[i].id);
    }
  }
}

}  // namespace
