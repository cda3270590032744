// SPDX-License-Identifier: GPL-3.0-or-later
// Whole simulated runs that raise alarms, with the mail going to a real SMTP server: what arrives,
// what waits in the outbox across a restart, and that a stalled server never holds the engine up.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "app/program.h"
#include "monitor/event_log.h"
#include "notify/mail_center.h"
#include "notify/mail_outbox.h"
#include "notify/mail_test_support.h"
#include "notify/smtp_sink.h"
#include "support/recording_ui.h"

namespace rur {
namespace {

using mailtest::SmtpSink;

void WriteMailSettings(const mailtest::ScratchFolder& data, std::uint16_t port, std::uint32_t suppressMask,
                       const std::string& timeOut = "2") {
  data.Write("KV_RODE_RUR.reg",
             "[SOFTWARE\\KV_RODE_RUR]\n"
             "\"Port\"=\"" +
                 std::to_string(port) +
                 "\"\n"
                 "\"SMTP\"=\"127.0.0.1\"\n"
                 "\"UserName\"=\"Server room\"\n"
                 "\"Addr\"=\"rur@example.com\"\n"
                 "\"TimeOut\"=\"" +
                 timeOut +
                 "\"\n"
                 "\"EMailSend\"=dword:" +
                 std::to_string(suppressMask) +
                 "\n"
                 "\"ToAddrCount\"=dword:00000002\n"
                 "\"ToAddr_00\"=\"ops@example.com\"\n"
                 "\"ToAddr_01\"=\"boss@example.org\"\n");
}

// A simulated run of a scenario (the bundled demo when `scenario` is empty) on virtual time.
struct SimulatedRun {
  SimulatedRun(const mailtest::ScratchFolder& data, const std::string& scenario = {}) {
    ProgramOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.dataDir = data.path();
    options.scenarioPath = scenario;
    std::string error;
    opened = program.Open(options, ui, error);
    EXPECT_TRUE(opened) << error;
    if (opened) program.Start();
  }
  bool LogHas(const std::string& start) {
    for (const auto& line : program.eventLog().lines())
      if (line.rfind(start, 0) == 0) return true;
    return false;
  }

  test::RecordingUi ui;
  Program program;
  bool opened = false;
};

std::vector<std::string> AllBodyLines(const SmtpSink& sink) {
  std::vector<std::string> lines;
  for (const auto& mail : sink.Mails())
    for (const auto& line : mail.BodyLines()) lines.push_back(line);
  return lines;
}

struct MailAlarmRun : ::testing::Test {
  void SetUp() override {
    if (!SmtpSink::Available()) GTEST_SKIP() << "/usr/bin/python3 cannot import aiosmtpd (python3-aiosmtpd)";
  }
};

// The demo scenario pulls HDD2 of drive 1 at 30 s and puts it back at 60 s.
TEST_F(MailAlarmRun, PulledMemberMailsEveryRecipientUnlessTheKindIsSuppressed) {
  SmtpSink sink;
  ASSERT_NE(sink.port(), 0);

  for (const std::uint32_t mask : {0x01u, 0x02u}) {
    mailtest::ScratchFolder data;
    WriteMailSettings(data, sink.port(), mask);
    data.Write("EmailSubject Hard Disks Fail.txt", "Member disk lost\r\n");
    data.Write("EmailContens Hard Disks Fail.txt", "Swap the disk in bay 2.\r\n");
    SimulatedRun run(data);
    run.program.engine().RunFor(40000);
    run.program.mail().FinishDeliveries();
    EXPECT_FALSE(run.program.mail().SendingGuard());
    EXPECT_EQ(run.program.mail().MailRequestFlags.load(), 0);
    EXPECT_TRUE(run.program.mail().Outbox().empty());
    if (mask == 0x01) {
      EXPECT_TRUE(sink.Mails().empty());
    }
  }

  const auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].recipients, (std::vector<std::string>{"ops@example.com", "boss@example.org"}));
  EXPECT_EQ(mails[0].Header("Subject"), "[RODE RUR v0.50.11-3 Message] Member disk lost");
  const auto body = mails[0].BodyLines();
  ASSERT_GE(body.size(), 3u);
  EXPECT_EQ(body[0], "Device1 P1 Hard Disk Drive fail.");
  EXPECT_EQ(body[1], "Device1 information :");
  const auto info = std::find(body.begin(), body.end(), "=========== [System Information] ==============");
  ASSERT_NE(info, body.end());
  EXPECT_NE(std::find(body.begin(), info, "  HDD2 is absent. "), info);
  EXPECT_EQ(body.back(), "Swap the disk in bay 2.");
}

TEST_F(MailAlarmRun, AlarmsRaisedTogetherAllArrive) {
  // Both members of Device1 pulled in one refresh, Device2 and Device3 unplugged together.
  mailtest::ScratchFolder data;
  data.Write("together.json", R"({"name": "together", "start": "2026-03-14 09:00:00",
    "drives": [{"number": 1, "type": "enclosure", "members": [{}, {}]},
               {"number": 2, "type": "enclosure", "members": [{}, {}]},
               {"number": 3, "type": "enclosure", "members": [{}, {}]}],
    "timeline": [{"at": 30, "drive": 1, "event": "member-removed", "member": "HDD1"},
                 {"at": 30, "drive": 1, "event": "member-removed", "member": "HDD2"},
                 {"at": 45, "drive": 2, "event": "unplugged"},
                 {"at": 45, "drive": 3, "event": "unplugged"}]})");
  SmtpSink sink;
  WriteMailSettings(data, sink.port(), 0);
  SimulatedRun run(data, data.file("together.json"));
  run.program.engine().RunFor(60000);
  run.program.mail().FinishDeliveries();

  const auto lines = AllBodyLines(sink);
  for (const std::string sentence : {"Device1 P0 Hard Disk Drive fail.", "Device1 P1 Hard Disk Drive fail.",
                                     "Device2 RAID system fail.", "Device3 RAID system fail."})
    EXPECT_EQ(std::count(lines.begin(), lines.end(), sentence), 1) << sentence;
  for (const auto& mail : sink.Mails()) EXPECT_EQ(mail.recipients.size(), 2u);
  EXPECT_TRUE(run.program.mail().Outbox().empty());
}

TEST_F(MailAlarmRun, AMailThatWaitedThroughARestartArrivesSoonAfterTheStart) {
  mailtest::ScratchFolder data;
  const std::uint16_t port = SmtpSink::ClosedPort();
  WriteMailSettings(data, port, 0);
  {
    SimulatedRun down(data);
    down.program.engine().RunFor(40000);
    down.program.mail().FinishDeliveries();
    ASSERT_EQ(down.program.mail().Outbox().size(), 1u);
    EXPECT_NE(down.ui.mailNotices.back().find("1 mail waits in the outbox: "), std::string::npos);
  }
  std::vector<std::string> problems;
  ASSERT_EQ(MailOutbox(OutboxFolderOf(data.path())).Load(problems).size(), 1u);

  SmtpSink sink(SmtpSink::Mode::Normal, {}, port);
  ASSERT_EQ(sink.port(), port);
  SimulatedRun up(data);
  up.program.engine().RunFor(10000);
  up.program.mail().FinishDeliveries();
  ASSERT_EQ(sink.Mails().size(), 1u);
  EXPECT_EQ(sink.Mails()[0].BodyLines().front(), "Device1 P1 Hard Disk Drive fail.");
  EXPECT_TRUE(up.program.mail().Outbox().empty());
  EXPECT_TRUE(MailOutbox(OutboxFolderOf(data.path())).Load(problems).empty());
  EXPECT_TRUE(problems.empty());
}

TEST_F(MailAlarmRun, AServerThatStallsAfterDataHoldsNothingUp) {
  using Clock = std::chrono::steady_clock;
  SmtpSink stalling(SmtpSink::Mode::Stall);
  mailtest::ScratchFolder data;
  WriteMailSettings(data, stalling.port(), 0, "2");
  SimulatedRun run(data);
  run.program.engine().RunFor(35000);  // the alarm of 30 s is on its way
  const auto start = Clock::now();
  const unsigned refreshes = run.program.engine().refreshCount();
  run.program.engine().RunFor(40000);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.5);
  EXPECT_GE(run.program.engine().refreshCount(), refreshes + 7);
  EXPECT_TRUE(run.LogHas("D1 HDD2 was inserted, "));
  run.program.mail().FinishDeliveries();
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 4.0);
  ASSERT_EQ(run.program.mail().Outbox().size(), 1u);
  // The whole mail went out and the verdict never came: the server may have it.
  const QueuedMail& waiting = run.program.mail().Outbox()[0];
  EXPECT_EQ(
      waiting.lastError.rfind(
          "The mail server 127.0.0.1 port " + std::to_string(stalling.port()) + " did not answer within 2 s. ", 0),
      0u)
      << waiting.lastError;
  EXPECT_NE(waiting.lastError.find("outcome is unknown, and it is sent once more under the same Message-ID " +
                                   waiting.messageId),
            std::string::npos)
      << waiting.lastError;
  EXPECT_EQ(waiting.unknownOutcomes, 1u);
  EXPECT_TRUE(stalling.Mails().empty());
}

TEST_F(MailAlarmRun, AStoppedFanAndAHotEnclosureRaiseOneAlarmEachAndLogWhenTheyClear) {
  mailtest::ScratchFolder data;
  data.Write("sensors.json", R"({"name": "sensors", "start": "2026-03-14 09:00:00",
    "drives": [{"number": 1, "type": "enclosure", "fan": 2600, "temperature": 38, "members": [{}, {}]}],
    "timeline": [{"at": 30, "drive": 1, "event": "environment", "fan": 0},
                 {"at": 70, "drive": 1, "event": "environment", "fan": 2500},
                 {"at": 90, "drive": 1, "event": "environment", "temperature": 71},
                 {"at": 130, "drive": 1, "event": "environment", "temperature": 52},
                 {"at": 150, "drive": 1, "event": "environment", "temperature": 49}]})");
  SmtpSink sink;
  WriteMailSettings(data, sink.port(), 0);
  SimulatedRun run(data, data.file("sensors.json"));
  run.program.engine().RunFor(180000);
  run.program.mail().FinishDeliveries();

  std::vector<std::string> sensorLines;
  for (const auto& line : run.program.eventLog().lines())
    if (line.find(" Fan ") != std::string::npos || line.find(" Temperature ") != std::string::npos)
      sensorLines.push_back(
          line.substr(0, line.find(" C, ") != std::string::npos ? line.find(" C, ") + 4 : line.find(" RPM, ") + 6));
  EXPECT_EQ(sensorLines,
            (std::vector<std::string>{"D1 Fan stopped, 0 RPM, ", "D1 Fan running, 2500 RPM, ",
                                      "D1 Temperature too high, 71 C, ", "D1 Temperature normal, 49 C, "}));
  const auto mails = sink.Mails();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].BodyLines().front(), "Device1 Fan fail, 0 RPM.");
  EXPECT_EQ(mails[1].BodyLines().front(), "Device1 Over Heat, 71 C.");
  EXPECT_EQ(mails[1].BodyLines()[1], "Device1 information :");
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A striped array whose HDD1 gains reallocated sectors at 100 s and falls below its threshold at
// 250 s: one mail per change, none for the same data later or after a restart.
TEST_F(MailAlarmRun, AWorseningDiskIsMailedOncePerChangeAlsoAcrossARestart) {
  mailtest::ScratchFolder data;
  data.Write("worsening.json", R"({"name": "worsening", "start": "2026-03-14 09:00:00",
    "drives": [{"number": 1, "type": "enclosure", "mode": "striping",
      "members": [{"serial": "WD-AAA111", "smart": [{"id": 5, "value": 100, "worst": 100, "threshold": 36, "raw": 0},
                                                     {"id": 197, "value": 100, "worst": 100, "threshold": 0, "raw": 0}]},
                  {"serial": "ST-BBB222"}]}],
    "timeline": [{"at": 100, "drive": 1, "event": "smart", "member": "HDD1",
                  "attribute": {"id": 5, "value": 90, "worst": 90, "threshold": 36, "raw": 24}},
                 {"at": 250, "drive": 1, "event": "smart", "member": "HDD1",
                  "attribute": {"id": 5, "value": 30, "worst": 30, "threshold": 36, "raw": 24}}]})");
  data.Write("EmailSubject Disk Health.txt", "Disk wearing out\r\n");
  SmtpSink sink;
  WriteMailSettings(data, sink.port(), 0);
  const std::string header = "Device1 HDD1 disk health got worse: model \"RODE SIM DISK 1000\", serial \"WD-AAA111\".";
  const std::string noCopy =
      "Striping(RAID0) keeps no second copy of the data: one failing disk loses the whole array.";
  {
    SimulatedRun run(data, data.file("worsening.json"));
    run.program.engine().RunFor(400000);
    run.program.mail().FinishDeliveries();
    const auto mails = sink.Mails();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].Header("Subject"), "[RODE RUR v0.50.11-3 Message] Disk wearing out");
    const auto counted = mails[0].BodyLines();
    EXPECT_EQ(counted.at(0), header);
    EXPECT_EQ(counted.at(1), "  Attribute 5 Reallocated sector count, raw count: 0 -> 24");
    EXPECT_EQ(counted.at(2), noCopy);
    EXPECT_EQ(counted.at(3), "Device1 information :");
    const auto failed = mails[1].BodyLines();
    EXPECT_EQ(failed.at(0), header);
    EXPECT_EQ(failed.at(1), "  SMART verdict: Good -> Error");
    EXPECT_TRUE(Contains(failed, noCopy));

    EXPECT_TRUE(
        run.LogHas("D1 HDD1 attribute 5 Reallocated sector count raw 0 -> 24, serial \"WD-AAA111\", 2026/3/14 "));
    EXPECT_TRUE(run.LogHas("D1 HDD1 SMART verdict Good -> Error, serial \"WD-AAA111\", 2026/3/14 "));
    for (const auto& line : run.program.eventLog().lines())
      for (const char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << line;

    run.program.engine().RunFor(600000);
    run.program.mail().FinishDeliveries();
    EXPECT_EQ(sink.Mails().size(), 2u);
  }
  // The same disk in the same state after a restart: nothing new to tell.
  SimulatedRun again(data, data.file("worsening.json"));
  again.program.engine().RunFor(400000);
  again.program.mail().FinishDeliveries();
  EXPECT_EQ(sink.Mails().size(), 2u);
}

// HDD2 of a mirror is swapped for another disk and rebuilt from an HDD1 with pending sectors.
TEST_F(MailAlarmRun, ASwappedDiskIsNamedAndARebuildFromAnAilingDiskAsksForABackup) {
  mailtest::ScratchFolder data;
  data.Write("swap.json", R"({"name": "swap", "start": "2026-03-14 09:00:00",
    "drives": [{"number": 1, "type": "enclosure", "rebuildSpeed": 20000000,
      "members": [{"serial": "WD-AAA111", "smart": [{"id": 5, "value": 100, "worst": 100, "threshold": 36, "raw": 0},
                                                     {"id": 197, "value": 100, "worst": 100, "threshold": 0, "raw": 3}]},
                  {"serial": "ST-BBB222"}]}],
    "timeline": [{"at": 20, "drive": 1, "event": "member-removed", "member": "HDD2"},
                 {"at": 60, "drive": 1, "event": "member-inserted", "member": "HDD2", "disk": {"serial": "NEW-CCC333"}},
                 {"at": 65, "drive": 1, "event": "rebuild-started", "member": "HDD2"}]})");
  SmtpSink sink;
  WriteMailSettings(data, sink.port(), 0);
  SimulatedRun run(data, data.file("swap.json"));
  run.program.engine().RunFor(200000);
  run.program.mail().FinishDeliveries();

  EXPECT_TRUE(run.LogHas("D1 HDD2 replaced: serial \"ST-BBB222\" -> \"NEW-CCC333\", 2026/3/14 9:01:0"));
  // The source is checked in the cycle that first sees the rebuild.
  std::string firstProgress, sourceLine;
  for (const auto& line : run.program.eventLog().lines()) {
    if (firstProgress.empty() && line.rfind("D1 HDD1 --> HDD2 ", 0) == 0) firstProgress = line;
    if (line.rfind("D1 HDD1 is the source of the rebuild of HDD2, SMART verdict Warning: take a backup now, ", 0) == 0)
      sourceLine = line;
  }
  ASSERT_FALSE(sourceLine.empty());
  EXPECT_EQ(sourceLine.substr(sourceLine.size() - 8), firstProgress.substr(firstProgress.size() - 8));

  const auto lines = AllBodyLines(sink);
  EXPECT_TRUE(Contains(lines, "Device1 HDD2 replaced: serial \"ST-BBB222\" -> \"NEW-CCC333\"."));
  EXPECT_TRUE(Contains(lines,
                       "The rebuild reads every sector of HDD1; if HDD1 fails before it ends, the array is "
                       "lost. Take a backup now."));
  // A first look at HDD1 already found the pending sectors; a mirror keeps a second copy.
  EXPECT_TRUE(Contains(lines, "  SMART verdict: Warning (when first seen)"));
  for (const auto& line : lines) EXPECT_EQ(line.find("no second copy"), std::string::npos) << line;
}

}  // namespace
}  // namespace rur
