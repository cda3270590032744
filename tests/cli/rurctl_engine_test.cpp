// SPDX-License-Identifier: GPL-3.0-or-later
// The engine-driven rurctl commands on the bundled scenarios, on virtual time.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>

#include <nlohmann/json.hpp>

#include "cli/rurctl_fixture.h"
#include "monitor/event_log.h"
#include "notify/smtp_sink.h"
#include "platform/safe_text.h"

namespace {

using namespace rur::test;
namespace fs = std::filesystem;

constexpr const char* kRun = "--virtual-time --data-dir data ";

TEST_F(RurctlTest, DetectAndStatusOnTheBundledScenarios) {
  RunResult detect = Rurctl(std::string("--simulate ") + kRun + "detect");
  EXPECT_EQ(detect.status, 0) << detect.err;
  EXPECT_EQ(
      detect.out,
      "Device1 drive=1 kind=0 product=RODE RUR Dual Bay RAID path=/dev/sdb id=usb-RODE_RUR_DUAL_BAY_SIM0001-0:0\n");

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
  EXPECT_EQ(device["path"], "/dev/sdb");
  EXPECT_EQ(device["by_id"], "usb-RODE_RUR_DUAL_BAY_SIM0001-0:0");
  EXPECT_EQ(device["members"].size(), 2u);
  EXPECT_EQ(device["members"][1]["state"], "present");
  EXPECT_EQ(device["capacity_text"], "931 GB");
  EXPECT_TRUE(device["sensor_shown"].get<bool>());

  status = Rurctl(std::string("--simulate=two-enclosures ") + kRun + "status --json");
  ASSERT_EQ(status.status, 4) << "Device1 rebuilds: degraded\n" << status.err;
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
  for (const char* line :
       {"RODE RUR v0.50.11-3 has started from ", "D1 HDD2 was removed, 05", "D1 HDD2 was inserted, 06",
        "D1 HDD2 was initialized, (SATA), 01", "D1 HDD1 --> HDD2 51%, ", "D1 HDD1 OK, HDD2 OK, "})
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
  const auto& hours =
      *std::find_if(grid["rows"].begin(), grid["rows"].end(), [](const auto& row) { return row["id"] == 9; });
  EXPECT_EQ(hours["name"], "09-Power-on hours count");
  EXPECT_EQ(hours["raw"].get<std::string>().size(), 12u);
  EXPECT_EQ(hours["colour"], "FFFFFF");

  const RunResult dump = Rurctl(std::string("--simulate ") + kRun + "dump-smart");
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(fs::file_size(dir_ / "data" / "dSMART00.bin"), 1024u);
  EXPECT_EQ(fs::file_size(dir_ / "data" / "sSMART00.bin"), 1024u);
}

// A drive by number, device path or by-id name; a udev rule for the enclosure found.
TEST_F(RurctlTest, DrivesAreNamedByNumberPathOrById) {
  const std::string sim = std::string("--simulate ") + kRun;
  for (const std::string name :
       {"1", "/dev/sdb", "usb-RODE_RUR_DUAL_BAY_SIM0001-0:0", "/dev/disk/by-id/usb-RODE_RUR_DUAL_BAY_SIM0001-0:0"}) {
    const RunResult query = Rurctl(sim + "query 0x10 --drive " + name);
    EXPECT_EQ(query.status, 0) << name << ": " << query.err;
    EXPECT_EQ(query.out.rfind("result 00\n", 0), 0u) << name;
  }
  const RunResult smart = Rurctl(sim + "smart --drive /dev/sdb --json");
  EXPECT_EQ(smart.status, 0) << smart.err;
  // The system disk is no USB disk: not probed by default, but reached when named.
  EXPECT_EQ(Rurctl(sim + "query 0x10 --drive /dev/sda").out.rfind("result F2\n", 0), 0u);
  EXPECT_EQ(Rurctl(sim + "smart --drive /dev/sda").status, 1);
  EXPECT_EQ(Rurctl(sim + "query 0x10 --drive /dev/sdq").status, 2);

  const RunResult rule = Rurctl(sim + "udev-rule --group storage-ro");
  ASSERT_EQ(rule.status, 0) << rule.err;
  EXPECT_NE(rule.out.find("# Device1 (/dev/sdb): RODE RUR Dual Bay RAID\n"
                          "SUBSYSTEM==\"block\", ENV{DEVTYPE}==\"disk\", ENV{ID_BUS}==\"usb\", "
                          "ENV{ID_VENDOR_ID}==\"1209\", ENV{ID_MODEL_ID}==\"2760\", ENV{ID_SERIAL_SHORT}==\"SIM0001\", "
                          "GROUP=\"storage-ro\", MODE=\"0640\", TAG+=\"uaccess\"\n"),
            std::string::npos)
      << rule.out;
  for (const char* group : {"'a\"b'", "Root", "'x$(id)'"})
    EXPECT_EQ(Rurctl(sim + "udev-rule --group " + group).status, 2) << group;
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

  // While another process holds the enclosure (here: this test, as a second upgrade would), an
  // upgrade and a backup are refused at once, naming the holder, and the flash stays as it was.
  const std::string flashBefore = Read(dir_ / "dev" / "drive1.flash");
  {
    const int lock = ::open((dir_ / "dev" / "drive1.lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    const std::string holder = "(process " + std::to_string(::getpid()) + ")";
    for (const std::string command :
         {"firmware new.bin --yes", "firmware new.bin --yes --drive /dev/sdb", "firmware-backup other.bin --drive 1"}) {
      const auto start = std::chrono::steady_clock::now();
      const RunResult refused = Rurctl(sim + command);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << command;
      EXPECT_EQ(refused.status, 1) << command;
      EXPECT_NE(refused.err.find("is in use by "), std::string::npos) << command << ": " << refused.err;
      EXPECT_NE(refused.err.find(holder), std::string::npos) << command << ": " << refused.err;
      EXPECT_EQ(refused.err.find("Firmware Upgrade 3/3 completed!"), std::string::npos) << command;
    }
    ::close(lock);
  }
  EXPECT_EQ(Read(dir_ / "dev" / "drive1.flash"), flashBefore);
  EXPECT_FALSE(fs::exists(dir_ / "other.bin"));

  const RunResult upgrade = Rurctl(sim + "firmware new.bin --yes");
  ASSERT_EQ(upgrade.status, 0) << upgrade.err;
  EXPECT_NE(upgrade.err.find("Firmware Upgrade 3/3 completed!"), std::string::npos) << upgrade.err;

  const RunResult status = Rurctl(sim + "status --json");
  ASSERT_EQ(status.status, 0) << status.err;
  EXPECT_EQ(nlohmann::json::parse(status.out)[0]["firmware"], "150102.3");

  std::ofstream(dir_ / "short.bin") << "too short";
  EXPECT_EQ(Rurctl(sim + "firmware short.bin --yes").status, 1);
  EXPECT_EQ(Rurctl(sim + "firmware new.bin --device 2 --yes").status, 1);
}

}  // namespace

namespace {

using namespace rur::test;

// Five minutes of the demo and of two enclosures (one unplugged and plugged back) give exactly the
// day files kept in tests/data/golden: banner, information blocks, member and rebuild lines, and
// the device-change lines, CR LF ended.
TEST_F(RurctlTest, MonitorDayFilesMatchTheGoldenFiles) {
  for (const std::string scenario : {"demo", "two-enclosures"}) {
    const RunResult run =
        Rurctl("--simulate=" + scenario + " --virtual-time --data-dir " + scenario + " monitor --for 300");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string written = Read(dir_ / scenario / "260314.log");
    const std::string golden = Read(std::filesystem::path(RUR_TEST_DATA_DIR) / "golden" / (scenario + ".log"));
    EXPECT_FALSE(golden.empty());
    EXPECT_EQ(written, golden) << scenario;
  }
  // A watch restarted on the same day adds to the file and prints only what it sees itself.
  const RunResult restarted = Rurctl("--simulate=demo --virtual-time --data-dir demo monitor --for 10");
  ASSERT_EQ(restarted.status, 0) << restarted.err;
  EXPECT_EQ(restarted.out.find("was removed"), std::string::npos) << restarted.out;
  EXPECT_EQ(Read(dir_ / "demo" / "260314.log")
                .rfind(Read(std::filesystem::path(RUR_TEST_DATA_DIR) / "golden" / "demo.log"), 0),
            0u);

  // Something other than a file at the settings' name ends the watch at once, naming it.
  ASSERT_EQ(::mkfifo((dir_ / "demo" / "KV_RODE_RUR.reg").c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  const RunResult fifo = Rurctl("--simulate=demo --data-dir demo monitor --for 10");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(fifo.status, 1);
  EXPECT_NE(fifo.err.find("KV_RODE_RUR.reg is a FIFO"), std::string::npos) << fifo.err;
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
    const RunResult run =
        Rurctl("--simulate --virtual-time --data-dir data smart --bay " + std::to_string(bay) + " --json");
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

// What a script reads from the exit status: 0 for a healthy array, health bits when the command
// worked, 1 when it did not (with "error" in its JSON, never an empty result).
TEST_F(RurctlTest, HealthIsInTheExitStatus) {
  struct Case {
    const char* name;
    std::string enclosure;  // fields of drive 1
    std::string faults;
    const char* command;
    int status;
  };
  const std::string ok = R"("members": [{}, {}])";
  const Case cases[] = {
      {"healthy", ok, "", "status", 0},
      {"healthy", ok, "", "smart --bay 2", 0},
      {"member absent", R"("members": [{}, {"state": "absent"}])", "", "status", 4},
      {"member failed", R"("members": [{"state": "failed"}, {}])", "", "status", 4},
      {"member rebuilding", R"("members": [{}, {}], "rebuild": {"member": "HDD2", "position": 1000, "speed": 1})", "",
       "status", 4},
      {"member inserted", R"("members": [{}, {"state": "inserted"}])", "", "status", 4},
      {"empty bay in bypass", R"("mode": "bypass", "members": [{}, {"state": "absent"}])", "", "status", 0},
      {"failed member in bypass", R"("mode": "bypass", "members": [{}, {"state": "failed"}])", "", "status", 4},
      // A spanned array lives on both disks.
      {"empty bay in JBOD", R"("mode": "jbod", "members": [{}, {"state": "absent"}])", "", "status", 8},
      {"both members gone", R"("members": [{"state": "absent"}, {"state": "absent"}])", "", "status", 8},
      {"not answering", ok, R"(, "faults": [{"drive": 1, "kind": "fail", "command": "query", "code": "0x17",
        "from": 1}])",
       "status", 8},
      {"SMART warning", R"("members": [{}, {"smart": [{"id": 197, "value": 100, "worst": 100, "threshold": 0,
        "raw": 8}]}])",
       "", "smart --bay 2", 16},
      {"SMART error", R"("members": [{"smart": [{"id": 5, "value": 30, "worst": 30, "threshold": 36,
        "raw": 900}]}, {}])",
       "", "smart --json", 32},
      {"SMART error on a degraded array", R"("members": [{"smart": [{"id": 5, "value": 30, "worst": 30,
        "threshold": 36, "raw": 900}]}, {"state": "absent"}])",
       "", "smart", 36},
      {"SMART read fails", ok, R"(, "faults": [{"drive": 1, "kind": "fail", "command": "ata-fetch", "port": 0}])",
       "smart --json", 1},
      {"SMART of an empty bay", R"("members": [{}, {"state": "absent"}])", "", "smart --bay 2 --json", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(dir_ / "s.json", std::ios::trunc)
        << R"({"start": "2026-03-14 09:00:00", "drives": [{"number": 1, "type": "enclosure", )" << c.enclosure << "}]"
        << c.faults << "}";
    const RunResult run = Rurctl(std::string("--simulate=s.json --virtual-time ") + c.command);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    if (std::string(c.command).find("--json") == std::string::npos) continue;
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json.contains("error"), c.status == 1) << run.out;
    if (c.status == 1) {
      EXPECT_FALSE(json.contains("rows"));
    }
  }
  // A command that failed says so in JSON too.
  const RunResult none = Rurctl("--simulate=faults --virtual-time --data-dir data log missing.log --json");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(nlohmann::json::parse(none.out)["error"], "The file missing.log does not exist.");
}

// The demo's five minutes as a script sees them: one JSON object per line on standard output, in
// the order of the events, and a program run once per event but never for rebuild progress.
TEST_F(RurctlTest, MonitorStreamsEventsAsJsonAndRunsAProgramOnEach) {
  const fs::path hook = dir_ / "hook.sh";
  std::ofstream(hook) << "#!/bin/sh\n"
                         "echo \"$RUR_EVENT|$RUR_DEVICE|$RUR_DRIVE|$RUR_PATH|$RUR_BAY|$RUR_TIME|$RUR_TEXT\" >> '"
                      << (dir_ / "hook.log").string() << "'\n";
  fs::permissions(hook, fs::perms::owner_all);
  const RunResult run =
      Rurctl(std::string("--simulate ") + kRun + "monitor --for 300 --json --exec ./hook.sh --exec ./missing-hook");
  ASSERT_EQ(run.status, 0) << run.err;

  std::vector<std::string> kinds;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    const auto event = nlohmann::json::parse(line);  // every line is one object
    for (const char* key : {"time", "device", "drive", "event", "text"}) ASSERT_TRUE(event.contains(key)) << line;
    EXPECT_EQ(event["time"].get<std::string>().substr(19), "+00:00") << "virtual time reads as UTC";
    const std::string kind = event["event"];
    if (kind == "banner" || kind == "info") continue;
    if (kinds.empty() || kinds.back() != kind) kinds.push_back(kind);
    EXPECT_EQ(event["bay"], 2) << line;
    EXPECT_EQ(event["device"], 1);
    EXPECT_EQ(event["drive"], 1);
  }
  const std::vector<std::string> expected{"member-removed",   "alarm",       "member-inserted", "member-initialized",
                                          "rebuild-progress", "rebuild-done"};
  EXPECT_EQ(kinds, expected);

  const std::string ran = Read(dir_ / "hook.log");
  EXPECT_EQ(ran.find("rebuild-progress"), std::string::npos);
  std::vector<std::string> runs;
  std::istringstream hookLines(ran);
  for (std::string line; std::getline(hookLines, line);) runs.push_back(line.substr(0, line.find('|')));
  // On virtual time the five minutes pass in a moment and the programs run side by side: each
  // event once, in whichever order the programs got to write.
  std::vector<std::string> expectedRuns{"member-removed", "alarm", "member-inserted", "member-initialized",
                                        "rebuild-done"};
  std::sort(runs.begin(), runs.end());
  std::sort(expectedRuns.begin(), expectedRuns.end());
  EXPECT_EQ(runs, expectedRuns);
  EXPECT_NE(("\n" + ran).find("\nmember-removed|1|1|simulated drive 1|2|2026-03-14T09:00:"), std::string::npos) << ran;
  EXPECT_NE(ran.find("|D1 HDD2 was removed, 05"), std::string::npos) << ran;
  EXPECT_NE(run.err.find("monitor: ./missing-hook could not be started for member-removed"), std::string::npos)
      << run.err;
}

// A member that fails in its bay is the alarm users want first: one alarm, one day-log line, one
// hook run and one mail; with that kind's mail switched off the alarm still counts in the metrics.
// A recipient the server refuses for good is an event of its own; the other still gets the mail.
TEST_F(RurctlTest, AMemberFailingInItsBayIsOneAlarmMailedOrNot) {
  using rur::mailtest::SmtpSink;
  std::ofstream(dir_ / "fails.json") << R"({"name": "fails", "drives": [
    {"number": 1, "type": "enclosure", "mode": "mirroring", "fan": 2650, "temperature": 37,
     "members": [{"model": "KESTREL KD1000SX", "serial": "KD1", "capacity": 1953525168},
                 {"model": "KESTREL KD1000SX", "serial": "KD2", "capacity": 1953525168}]}],
    "timeline": [{"at": 30, "drive": 1, "event": "member-failed", "member": "HDD2"}]})";
  std::ofstream(dir_ / "hook.sh") << "#!/bin/sh\necho \"$RUR_EVENT $RUR_BAY\" >> hook.log\n";
  fs::permissions(dir_ / "hook.sh", fs::perms::owner_all);
  fs::create_directories(dir_ / "metrics");
  const std::string run = std::string("--simulate=fails.json ") + kRun;
  const bool mailed = SmtpSink::Available();
  std::unique_ptr<SmtpSink> sink;
  if (mailed) {
    sink = std::make_unique<SmtpSink>(SmtpSink::Mode::Reject, "gone@example.com");
    const std::vector<std::string> steps{"mail-set SMTP 127.0.0.1", "mail-set Port " + std::to_string(sink->port()),
                                         "mail-set Addr rur@example.com", "mail-recipients add ops@example.com",
                                         "mail-recipients add gone@example.com"};
    for (const std::string& step : steps) ASSERT_EQ(Rurctl(run + step).status, 0) << step;
  }
  std::vector<nlohmann::json> refused;
  const auto alarms = [&refused](const std::string& out) {
    std::vector<std::string> seen;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      const auto event = nlohmann::json::parse(line);
      if (event["event"] == "alarm" || event["event"] == "member-failed")
        seen.push_back(event["event"].get<std::string>() + " " + std::to_string(event["bay"].get<int>()));
      if (event["event"] == "mail-refused") refused.push_back(event);
    }
    return seen;
  };
  const std::vector<std::string> expected{"member-failed 2", "alarm 2"};
  const RunResult watched = Rurctl(run + "monitor --for 60 --json --exec ./hook.sh");
  ASSERT_EQ(watched.status, 0) << watched.err;
  EXPECT_EQ(alarms(watched.out), expected);
  // The hooks run side by side: their lines may come in either order.
  std::vector<std::string> hooks;
  std::istringstream hookLines(Read(dir_ / "hook.log"));
  for (std::string line; std::getline(hookLines, line);) hooks.push_back(line);
  std::sort(hooks.begin(), hooks.end());
  std::vector<std::string> expectedHooks{"alarm 2", "member-failed 2"};
  if (mailed) expectedHooks.insert(expectedHooks.begin() + 1, "mail-refused ");
  EXPECT_EQ(hooks, expectedHooks);
  const RunResult log = Rurctl(run + "log");
  EXPECT_NE(log.out.find("D1 HDD2 was failed"), std::string::npos) << log.out;
  if (mailed) {
    ASSERT_EQ(sink->Mails().size(), 1u);
    EXPECT_NE(sink->Mails()[0].text.find("Device1 P1 Hard Disk Drive fail."), std::string::npos);
    EXPECT_EQ(sink->Mails()[0].recipients, (std::vector<std::string>{"ops@example.com"}));
    ASSERT_EQ(refused.size(), 1u) << watched.out;
    EXPECT_EQ(refused[0]["recipient"], "gone@example.com");
    EXPECT_EQ(refused[0]["code"], 550);
    EXPECT_EQ(refused[0]["text"], "5.1.1 No such user here");
    EXPECT_NE(log.out.find("refused for gone@example.com by the server: \"550 5.1.1 No such user here\""),
              std::string::npos)
        << log.out;
  }

  ASSERT_EQ(Rurctl(run + "mail-set EMailSend 1").status, 0);
  const RunResult silent = Rurctl(run + "monitor --for 100 --json --textfile-dir metrics");
  ASSERT_EQ(silent.status, 0) << silent.err;
  EXPECT_EQ(alarms(silent.out), expected);
  const std::string metrics = Read(dir_ / "metrics" / "rode_rur.prom");
  EXPECT_NE(metrics.find("rode_rur_alarms_total{kind=\"drive_failure\"} 1\n"), std::string::npos) << metrics;
  if (mailed) {
    EXPECT_EQ(sink->Mails().size(), 1u) << "that kind's mail is off";
  }
}

// A server without a desktop gets its mail settings from rurctl; the file is the one the window
// reads, and the test mail goes out with them (the password through standard input only).
TEST_F(RurctlTest, MailIsSetUpWithoutTheWindow) {
  using rur::mailtest::SmtpSink;
  if (!SmtpSink::Available()) GTEST_SKIP() << "/usr/bin/python3 cannot import aiosmtpd";
  SmtpSink sink(SmtpSink::Mode::Auth);
  ASSERT_NE(sink.port(), 0);
  const std::string run = std::string("--simulate ") + kRun;
  const std::pair<std::string, std::string> steps[] = {
      {"mail-set SMTP 127.0.0.1", ""},
      {"mail-set Port " + std::to_string(sink.port()), ""},
      {"mail-set Addr rur@example.com", ""},
      {"mail-set UserID rur", ""},
      {"mail-set Login on", ""},
      {"mail-set AllowPlainLogin 1", ""},
      {"mail-set Password -", "s3cret pass\n"},
      {"mail-recipients add ops@example.com", ""},
      {"mail-recipients add dev@example.com", ""},
      {"mail-recipients remove ops@example.com", ""},
  };
  for (const auto& [arguments, input] : steps) {
    const RunResult step = Rurctl(run + arguments, input);
    EXPECT_EQ(step.status, 0) << arguments << "\n" << step.err;
  }
  const RunResult noAt = Rurctl(run + "mail-recipients add nobody");
  EXPECT_EQ(noAt.status, 2);
  EXPECT_NE(noAt.err.find("E-Mail Address formula error!"), std::string::npos) << noAt.err;
  const std::string stored = Read(dir_ / "data" / "KV_RODE_RUR.reg");
  EXPECT_EQ(stored.find("s3cret"), std::string::npos) << "the password is kept scrambled";

  const RunResult settings = Rurctl(run + "mail-settings --json");
  ASSERT_EQ(settings.status, 0) << settings.err;
  const auto json = nlohmann::json::parse(settings.out);
  EXPECT_EQ(json["values"]["SMTP"], "127.0.0.1");
  EXPECT_EQ(json["values"]["Password"], "********");
  EXPECT_EQ(json["values"]["Login"], true);
  EXPECT_EQ(json["recipients"], nlohmann::json::array({"dev@example.com"}));

  const RunResult test = Rurctl(run + "mail-test");
  EXPECT_EQ(test.status, 0) << test.err;
  ASSERT_EQ(sink.Mails().size(), 1u);
  ASSERT_EQ(sink.Logins().size(), 1u);
  EXPECT_EQ(sink.Logins()[0].login, "rur");
  EXPECT_EQ(sink.Logins()[0].password, "s3cret pass");

  // What went wrong, in words that fit a test mail (no outbox keeps it): a CA file with a server
  // that offers no TLS, and a server that refuses the only recipient, named with its reply.
  std::ofstream(dir_ / "ca.pem") << "not used\n";
  ASSERT_EQ(Rurctl(run + "mail-set CAFile " + (dir_ / "ca.pem").string()).status, 0);
  const RunResult noTls = Rurctl(run + "mail-test");
  EXPECT_EQ(noTls.status, 1);
  EXPECT_NE(noTls.err.find("with a certificate file set mail goes only over TLS."), std::string::npos) << noTls.err;
  EXPECT_EQ(noTls.err.find("outbox"), std::string::npos) << noTls.err;
  ASSERT_EQ(Rurctl(run + "mail-set CAFile \"\"").status, 0);
  SmtpSink refusing(SmtpSink::Mode::Reject, "rur@example.com");
  ASSERT_EQ(Rurctl(run + "mail-set Port " + std::to_string(refusing.port())).status, 0);
  const RunResult refused = Rurctl(run + "mail-test");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("refused every recipient: rur@example.com (550 5.1.1 No such user here)."),
            std::string::npos)
      << refused.err;

  // Ten recipients at most, as on the E-mail page.
  for (int n = 0; n < 9; ++n) Rurctl(run + "mail-recipients add r" + std::to_string(n) + "@example.com");
  const RunResult eleventh = Rurctl(run + "mail-recipients add r10@example.com");
  EXPECT_EQ(eleventh.status, 1);
  EXPECT_NE(eleventh.err.find("there are 10 recipients already"), std::string::npos) << eleventh.err;
}

TEST_F(RurctlTest, UndeliveredAlarmMailWaitsInTheOutboxUntilAFlushDeliversIt) {
  using rur::mailtest::SmtpSink;
  if (!SmtpSink::Available()) GTEST_SKIP() << "/usr/bin/python3 cannot import aiosmtpd";
  const std::uint16_t port = SmtpSink::ClosedPort();
  fs::create_directories(dir_ / "data");
  std::ofstream(dir_ / "data" / "KV_RODE_RUR.reg") << "[SOFTWARE\\KV_RODE_RUR]\n"
                                                   << "\"Port\"=\"" << port << "\"\n"
                                                   << "\"SMTP\"=\"127.0.0.1\"\n"
                                                   << "\"Addr\"=\"rur@example.com\"\n"
                                                   << "\"TimeOut\"=\"2\"\n"
                                                   << "\"ToAddrCount\"=dword:00000001\n"
                                                   << "\"ToAddr_00\"=\"ops@example.com\"\n";

  // The server is down: monitor says so without --verbose and still succeeds.
  const RunResult monitor = Rurctl(std::string("--simulate ") + kRun + "monitor --for 40");
  EXPECT_EQ(monitor.status, 0) << monitor.err;
  EXPECT_NE(monitor.err.find("Mail: 1 mail waits in the outbox: Sending mail to 127.0.0.1 port "), std::string::npos)
      << monitor.err;
  EXPECT_NE(monitor.err.find("monitor: 1 mail waits in the outbox "), std::string::npos) << monitor.err;

  RunResult queue = Rurctl(std::string("--simulate ") + kRun + "mail-queue");
  EXPECT_EQ(queue.status, 0) << queue.err;
  EXPECT_NE(queue.out.find("Hard Disks Fail  to ops@example.com"), std::string::npos) << queue.out;
  EXPECT_NE(queue.out.find("1 attempt, last error: Sending mail to 127.0.0.1 port "), std::string::npos) << queue.out;

  queue = Rurctl(std::string("--simulate ") + kRun + "mail-queue --flush");
  EXPECT_EQ(queue.status, 1);
  EXPECT_NE(queue.out.find("0 of 1 mail sent."), std::string::npos) << queue.out;
  EXPECT_NE(queue.out.find("2 attempts"), std::string::npos) << queue.out;

  SmtpSink sink(SmtpSink::Mode::Normal, {}, port);
  ASSERT_EQ(sink.port(), port);
  queue = Rurctl(std::string("--simulate ") + kRun + "mail-queue --flush");
  EXPECT_EQ(queue.status, 0) << queue.err;
  EXPECT_EQ(queue.out, "1 of 1 mail sent.\n");
  ASSERT_EQ(sink.Mails().size(), 1u);
  EXPECT_EQ(sink.Mails()[0].BodyLines().front(), "Device1 P1 Hard Disk Drive fail.");
  queue = Rurctl(std::string("--simulate ") + kRun + "mail-queue");
  EXPECT_NE(queue.out.find("No mail waits in "), std::string::npos) << queue.out;

  // Forty mails dated after the run's clock (none old enough to be given up).
  const auto queueForty = [this](const std::string& tag) {
    for (int n = 1; n <= 40; ++n)
      std::ofstream(dir_ / "data" / "outbox" / (tag + std::to_string(n) + ".mail"))
          << "RODE RUR outbox mail 1\nKind: 1\nRaised: " << 4102444800 + n
          << "\nNext-Try: 0\nAttempts: 1\nLast-Error: x\nTo: ops@example.com\nSubject: " << tag << n << "\n\nbody\n";
  };
  const auto messageIds = [](const SmtpSink& server) {
    std::map<std::string, int> copies;
    for (const auto& mail : server.Mails()) ++copies[mail.Header("Message-ID")];
    return copies;
  };
  // Two flushes at once: each mail goes to one of them, once, and each counts only its own.
  queueForty("a");
  const std::vector<std::string> flush{"--simulate", "--virtual-time", "--data-dir", "data", "mail-queue", "--flush"};
  const pid_t first = StartRurctl(flush, "first-");
  const pid_t second = StartRurctl(flush, "second-");
  EXPECT_EQ(WaitExit(first), 0);
  EXPECT_EQ(WaitExit(second), 0);
  EXPECT_EQ(sink.Mails().size(), 41u);
  EXPECT_EQ(messageIds(sink).size(), 41u);
  std::size_t claimed = 0;
  for (const char* tag : {"first-", "second-"}) {
    const std::string out = Read(dir_ / (std::string(tag) + "out.txt"));
    std::size_t sent = 0, found = 0;
    ASSERT_EQ(std::sscanf(out.c_str(), "%zu of %zu mails sent", &sent, &found), 2) << out;
    claimed += sent;
  }
  EXPECT_EQ(claimed, 40u);

  // A server that loses every third connection after the end of DATA: the mails it may have are
  // sent once more under the same Message-ID, and no more.
  SmtpSink dropping(SmtpSink::Mode::Drop);
  ASSERT_EQ(Rurctl(std::string("--simulate ") + kRun + "mail-set Port " + std::to_string(dropping.port())).status, 0);
  queueForty("b");
  for (int pass = 0; pass < 3; ++pass) Rurctl(std::string("--simulate ") + kRun + "mail-queue --flush");
  const auto copies = messageIds(dropping);
  EXPECT_EQ(copies.size(), 40u);
  for (const auto& [id, count] : copies) EXPECT_LE(count, 2) << id;
  EXPECT_GT(dropping.Mails().size(), 40u);

  // An outbox that cannot be written and a server that is down: the alarm mail is reported lost,
  // never said to wait in the outbox.
  fs::remove_all(dir_ / "data" / "outbox");
  std::ofstream(dir_ / "data" / "outbox") << "not a folder";
  ASSERT_EQ(
      Rurctl(std::string("--simulate ") + kRun + "mail-set Port " + std::to_string(SmtpSink::ClosedPort())).status, 0);
  const RunResult lost = Rurctl(std::string("--simulate ") + kRun + "monitor --for 40 --json");
  EXPECT_NE(lost.out.find("\"event\":\"mail-lost\""), std::string::npos) << lost.out;
  EXPECT_NE(lost.err.find("could be neither kept in the outbox nor sent"), std::string::npos) << lost.err;
  EXPECT_EQ(lost.err.find("waits in the outbox"), std::string::npos) << lost.err;
}

}  // namespace

namespace {

using namespace rur::test;

// Scenarios of a watch that must neither stop silently nor invent an event: what monitor prints
// (log lines and alarms) must hold some texts and none of others.
TEST_F(RurctlTest, OwnScenariosWatchedToTheEnd) {
  struct Case {
    const char* scenario;
    unsigned seconds;
    std::vector<std::string> printed;
    std::vector<std::string> neverPrinted;
  };
  const Case cases[] = {
      {"silent-then-pulled",
       200,
       {"D1 Device is not answering, 2026/3/14 9:01:", "D1 Device is answering again, 2026/3/14 9:01:",
        "D1 HDD2 was removed, 052026/3/14 9:02:3", "Alarm: Device1 P1 Hard Disk Drive fail.",
        "Alarm: Device1 RAID system fail. Device1 has not answered for a minute"},
       {}},
      {"five-enclosures",
       60,
       {"Device5 information :", "D5 HDD2 was removed, 05", "Alarm: Device5 P1 Hard Disk Drive fail."},
       {}},
      // Drive 1 really left and came back; drive 2 only warmed up and stays who it is.
      {"replug-with-sensor-drift",
       120,
       {"D1 Device was removed.", "D1 New Device was found.", "Alarm: Device1 RAID system fail."},
       {"D2 Device was removed.", "D2 New Device was found.", "Alarm: Device2"}},
      // The enclosure that moves into the first place never rebuilt: no ending for it.
      {"unplug-while-rebuilding",
       90,
       {"D1 HDD1 --> HDD2 9%, ", "D1 Device was removed."},
       {"HDD1 OK, HDD2 OK", "Done, "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    const fs::path scenario = fs::path(RUR_TEST_DATA_DIR) / "scenarios" / (std::string(c.scenario) + ".json");
    const RunResult run = Rurctl("--simulate=" + scenario.string() + " --virtual-time --data-dir " + c.scenario +
                                 " monitor --for " + std::to_string(c.seconds));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const std::string& text : c.printed) EXPECT_NE(run.out.find(text), std::string::npos) << text;
    for (const std::string& text : c.neverPrinted) EXPECT_EQ(run.out.find(text), std::string::npos) << text;
    std::size_t silenceAlarms = 0;
    for (std::size_t at = 0; (at = run.out.find("has not answered for a minute", at)) != std::string::npos; ++at)
      ++silenceAlarms;
    EXPECT_LE(silenceAlarms, 1u) << "one alarm per silence";
  }
}

// A query that fails shows the last good values marked as not current, never a dead array made of
// zeros; a capacity detection could not read comes with the next good refresh. Each enclosure keeps
// its own rebuild arrow.
TEST_F(RurctlTest, StatusIsMarkedWhenNotCurrentAndKeepsEachEnclosuresArrow) {
  auto status = [this](const char* scenario, int exitStatus) {
    const fs::path file = fs::path(RUR_TEST_DATA_DIR) / "scenarios" / (std::string(scenario) + ".json");
    const RunResult run = Rurctl("--simulate=" + file.string() + " --virtual-time --data-dir data status --json");
    EXPECT_EQ(run.status, exitStatus) << run.err;
    return nlohmann::json::parse(run.out);
  };
  const auto failed = status("members-fail-at-detection", 8);
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_EQ(failed[0]["array_state"], "Normal");
  EXPECT_EQ(failed[0]["capacity_text"], "931 GB");
  EXPECT_TRUE(failed[0]["current"].get<bool>());
  EXPECT_FALSE(failed[0].contains("error"));
  EXPECT_FALSE(failed[1]["current"].get<bool>());
  EXPECT_EQ(failed[1]["error"], "the members query failed (result C0, refused by the controller)");
  EXPECT_NE(failed[1]["array_state"], "Failure");
  EXPECT_EQ(failed[1]["mode_text"], "");
  EXPECT_EQ(failed[1]["capacity_text"], "");

  const auto rebuilding = status("both-rebuilding-at-half", 4);
  ASSERT_EQ(rebuilding.size(), 2u);
  EXPECT_EQ(rebuilding[0]["array_state"], "50%\n>>>>\nRebuilding");
  EXPECT_EQ(rebuilding[1]["array_state"], "50%\n<<<<\nRebuilding");
}

// A day log that cannot be saved: monitor says so once, keeps the lines, and ends with a failure
// that counts them.
TEST_F(RurctlTest, MonitorWhoseLogCannotBeSavedSaysSoAndFails) {
  fs::create_directories(dir_ / "data");
  // A folder in place of the day file: the folder is there, but no save of that file can succeed.
  fs::create_directories(dir_ / "data" / "260314.log");
  const RunResult run = Rurctl("--simulate --virtual-time --data-dir data monitor --for 100");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("D1 HDD2 was removed, 05"), std::string::npos) << "the lines are still shown";
  std::size_t told = 0;
  for (std::size_t at = 0; (at = run.err.find("the event log cannot be saved", at)) != std::string::npos; ++at) ++told;
  EXPECT_EQ(told, 1u) << run.err;
  EXPECT_NE(run.err.find("event log lines could not be saved to data"), std::string::npos) << run.err;
}

// The watch removes the day logs older than LogKeepDays (400 unless set, 0 keeps all) and leaves
// every other file.
TEST_F(RurctlTest, MonitorRemovesTheDayLogsPastTheirKeeping) {
  struct Case {
    std::string settings;
    std::vector<std::string> removed, kept;
  } cases[] = {
      {"", {"240101.log", "250206.log"}, {"250207.log", "260313.log", "notes.txt", "250230.log", "1.log"}},
      {"\"LogKeepDays\"=dword:00000000\n", {}, {"240101.log", "250206.log"}},
      {"\"LogKeepDays\"=dword:0000000a\n", {"260303.log"}, {"260304.log"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_ / "data");
    fs::create_directories(dir_ / "data");
    std::ofstream(dir_ / "data" / "KV_RODE_RUR.reg") << "[SOFTWARE\\KV_RODE_RUR]\n" << c.settings;
    fs::permissions(dir_ / "data" / "KV_RODE_RUR.reg", fs::perms::owner_read | fs::perms::owner_write);
    for (const auto& names : {c.removed, c.kept})
      for (const std::string& name : names) std::ofstream(dir_ / "data" / name) << "old\n";
    const RunResult run = Rurctl(std::string("--simulate ") + kRun + "monitor --for 10");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& name : c.removed) EXPECT_FALSE(fs::exists(dir_ / "data" / name)) << name;
    for (const std::string& name : c.kept) EXPECT_TRUE(fs::exists(dir_ / "data" / name)) << name;
  }
}

// The metrics file: an enclosure unplugged during the run stays in it as not answering, with
// nothing of its array; an empty bay in bypass mode is no fault; a folder that is not there stops the start; a file
// that cannot be written is told once while the watch goes on.
TEST_F(RurctlTest, MonitorMetricsKeepAnUnpluggedEnclosureAndTellWhatCannotBeWritten) {
  fs::create_directories(dir_ / "metrics");
  ASSERT_EQ(
      Rurctl("--simulate=two-enclosures --virtual-time --data-dir data monitor --for 60 --textfile-dir metrics").status,
      0);
  const std::string metrics = Read(dir_ / "metrics" / "rode_rur.prom");
  EXPECT_NE(metrics.find("rode_rur_up{device=\"1\",drive=\"1\",path=\"/dev/sdb\"} 1\n"), std::string::npos);
  EXPECT_NE(metrics.find("rode_rur_up{device=\"2\",drive=\"2\",path=\"/dev/sdc\"} 0\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("rode_rur_enclosure_info{device=\"2\""), std::string::npos);
  EXPECT_EQ(metrics.find("rode_rur_array_state{device=\"2\""), std::string::npos);
  EXPECT_NE(metrics.find("rode_rur_alarms_total{kind=\"enclosure_removed\"} 1\n"), std::string::npos);

  // Bypass passes each disk through: its empty bay leaves the array normal.
  ASSERT_EQ(Rurctl("--simulate=bypass --virtual-time --data-dir bypass monitor --for 20 --textfile-dir metrics").status,
            0);
  EXPECT_NE(Read(dir_ / "metrics" / "rode_rur.prom").find("state=\"normal\"} 1\n"), std::string::npos);

  const RunResult nowhere = Rurctl("--simulate --virtual-time --data-dir data monitor --for 10 --textfile-dir nowhere");
  EXPECT_EQ(nowhere.status, 2);
  EXPECT_NE(nowhere.err.find("--textfile-dir \"nowhere\" is not a folder"), std::string::npos) << nowhere.err;

  fs::create_directories(dir_ / "blocked" / "rode_rur.prom");
  const RunResult blocked = Rurctl("--simulate --virtual-time --data-dir data monitor --for 60 --textfile-dir blocked");
  EXPECT_EQ(blocked.status, 0) << blocked.err;
  std::size_t told = 0;
  for (std::size_t at = 0; (at = blocked.err.find("the metrics file cannot be written", at)) != std::string::npos; ++at)
    ++told;
  EXPECT_EQ(told, 1u) << blocked.err;
}

// Texts a device or a file chooses at their worst (markup, escape sequences, line breaks, bytes
// that are no UTF-8) break no output: every JSON parses, the terminal gets no control character,
// both enclosures show, and two disks whose serials cannot be read keep a memory each.
TEST_F(RurctlTest, HostileTextsBreakNoOutput) {
  const std::string scenario = (fs::path(RUR_TEST_DATA_DIR) / "scenarios" / "hostile-texts.json").string();
  const std::string run = "--simulate=" + scenario + " --virtual-time --data-dir data ";
  const auto printable = [](const std::string& text) {
    return rur::TerminalText(text, true) == text;  // well-formed UTF-8, no control but line feeds and tabs
  };

  const RunResult detect = Rurctl(run + "detect");
  EXPECT_EQ(detect.status, 0) << detect.err;
  EXPECT_TRUE(printable(detect.out)) << detect.out;
  EXPECT_EQ(std::count(detect.out.begin(), detect.out.end(), '\n'), 2) << detect.out;  // a line per enclosure
  const RunResult text = Rurctl(run + "status");
  EXPECT_TRUE(printable(text.out)) << text.out;
  EXPECT_NE(text.out.find("Device2 (drive 2): </span><i>HIDE"), std::string::npos) << text.out;

  const RunResult status = Rurctl(run + "status --json");
  const auto devices = nlohmann::json::parse(status.out);
  ASSERT_EQ(devices.size(), 2u);
  const std::string byId = devices[0]["by_id"];
  EXPECT_EQ(byId.rfind("usb-RODE_\x1B[31m<b>\xEF\xBF\xBD\r\n", 0), 0u) << byId;  // 0xFF replaced, nothing lost
  EXPECT_EQ(devices[0]["members"][0]["serial"].get<std::string>().substr(0, 10), "<b>OLD</b>");
  EXPECT_EQ(devices[1]["product"], "</span><i>HIDE");

  // The watch, its events as JSON lines and its metrics; the device state saved with raw bytes.
  fs::create_directories(dir_ / "metrics");
  const RunResult monitor = Rurctl(run + "--sim-state dev monitor --json --for 40 --textfile-dir metrics");
  EXPECT_EQ(monitor.status, 0) << monitor.err;
  std::vector<std::string> replaced;
  std::istringstream lines(monitor.out);
  for (std::string line; std::getline(lines, line);) {
    const auto event = nlohmann::json::parse(line);  // every line is one object
    if (event["event"] == "disk-replaced") replaced.push_back(event["text"]);
  }
  ASSERT_EQ(replaced.size(), 1u) << monitor.out;  // drive 2's unreadable serial is not drive 1's
  EXPECT_EQ(replaced[0].rfind("D1 HDD1 replaced: serial \"<b>OLD</b>\" -> \"<b>NEW</b>\"", 0), 0u) << replaced[0];
  const std::string bays = Read(dir_ / "data" / "bays.txt");
  EXPECT_NE(bays.find("\thex:" + std::string(40, 'F') + "\t"), std::string::npos) << bays;
  EXPECT_NE(bays.find("hex:" + std::string(38, 'F') + "FE\t"), std::string::npos) << bays;
  EXPECT_NE(bays.find("\thex:4142430058595A"), std::string::npos) << bays;
  const std::string metrics = Read(dir_ / "metrics" / "rode_rur.prom");
  EXPECT_TRUE(printable(metrics)) << metrics;
  EXPECT_NE(metrics.find("by_id=\"usb-RODE_?[31m<b>\xEF\xBF\xBD?\\n??"), std::string::npos) << metrics;
  // The saved state holds HDD2's serial as raw bytes and HDD1's new disk; the next run starts from it.
  EXPECT_NE(Rurctl(run + "--sim-state dev status").out.find("serial \"<b>NEW</b>\""), std::string::npos);

  // A log file and a data folder named with a byte that is no UTF-8.
  const std::string day = Read(dir_ / "data" / "260314.log");
  for (const std::string& line : rur::SplitLogLines(day)) EXPECT_EQ(rur::LogLineText(line), line);
  std::ofstream(dir_ / "x\xFF.log") << day;
  const RunResult log = Rurctl("log x\xFF.log --json");
  EXPECT_EQ(log.status, 0) << log.err;
  const auto logged = nlohmann::json::parse(log.out);
  EXPECT_EQ(logged["file"], "x\xEF\xBF\xBD.log");
  EXPECT_EQ(logged["lines"].size(), rur::SplitLogLines(day).size());
  const RunResult queue = Rurctl("--simulate --virtual-time --data-dir d\xFF mail-queue --json");
  EXPECT_EQ(queue.status, 0) << queue.err;
  EXPECT_NE(nlohmann::json::parse(queue.out)["outbox"].get<std::string>().find("d\xEF\xBF\xBD"), std::string::npos);
}

}  // namespace
