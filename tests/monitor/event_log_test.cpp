// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "monitor/ata_text.h"
#include "monitor/day_log_file.h"
#include "monitor/device_changes.h"
#include "monitor/device_info_block.h"
#include "monitor/event_log.h"
#include "monitor/log_viewer_model.h"
#include "monitor/sensor_watch.h"
#include "platform/atomic_file.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace rur {
namespace {

struct Enclosure {
  IdentifyBlock identity{};
  StatusRecord record{};
  Enclosure() {
    TextToAtaString("Dual Bay RAID", identity.data() + identify_offset::kProductName, kProductNameLength);
    TextToAtaString("V1.02.03", identity.data() + identify_offset::kFirmwareRevision, 8);
    record[status_offset::kArrayMode] = kModeMirroring;
    WriteLe(record.data() + status_offset::kArrayCapacity, 6, 1953525168);
    TextToAtaString("WDC WD10EZEX", record.data() + status_offset::kHdd1Model, kModelLength);
    PutSerial("WD-1", status_offset::kHdd1Serial);
    WriteLe(record.data() + status_offset::kHdd1Capacity, 6, 1953525168);
    TextToAtaString("ST1000DM003", record.data() + status_offset::kHdd2Model, kModelLength);
    PutSerial("Z1", status_offset::kHdd2Serial);
    WriteLe(record.data() + status_offset::kHdd2Capacity, 6, 1953525168);
    SetStates(0, 0);
  }
  // Serials padded with zeros, so the texts end where the serial does.
  void PutSerial(const std::string& serial, std::size_t at) {
    TextToAtaString(serial, record.data() + at, kSerialLength);
    for (std::size_t i = serial.size(); i < kSerialLength; ++i) record[at + (i ^ 1u)] = 0;
  }
  void SetStates(std::uint8_t s1, std::uint8_t s2, std::uint8_t activity = 0, std::uint8_t progress = 0) {
    record[status_offset::kHdd1StateCode] = s1;
    record[status_offset::kHdd2StateCode] = s2;
    auto bit = [](std::uint8_t s) -> std::uint8_t { return s <= 1 ? 0x02 : s == 6 ? 0x01 : s == 9 ? 0x08 : 0x04; };
    record[status_offset::kDriveFlags] = static_cast<std::uint8_t>(bit(s1) | bit(s2) << 4);
    record[status_offset::kActivityFlags] = activity;
    record[status_offset::kActivityProgress] = progress;
  }
};

// A log writer over an in-memory folder.
struct LogFixture : ::testing::Test {
  std::map<std::string, std::string> files;
  EventLogWriter writer{"/logs"};
  Enclosure device;
  LocalDateTime now{2016, 5, 6, 14, 3, 27};
  bool failSaves = false;

  void SetUp() override {
    writer.setFileFunctions(
        [this](const std::string& path, const std::string& contents, std::string& error) {
          if (failSaves) return error = "read-only", false;
          files[path] = contents;
          return true;
        },
        [this](const std::string& path, std::string& contents) {
          auto found = files.find(path);
          if (found == files.end()) return FileReadStatus::Missing;
          contents = found->second;
          return FileReadStatus::Ok;
        });
  }
  EventLogResult Cycle(bool started = false, std::uint8_t mask = 1) {
    now = CivilFromSeconds(CivilSeconds(now) + 5);
    return writer.WriteEventLog(mask, {{&device.identity, &device.record}}, now, started);
  }
  std::vector<std::string> File(const std::string& name = "/logs/160506.log") { return SplitLogLines(files[name]); }
};

TEST_F(LogFixture, StartBannerBlockThenPulledAndReinsertedMember) {
  Cycle(true);
  std::vector<std::string> expected{kSeparatorLine,
                                    "RODE RUR v0.50.11-3 has started from 2016/5/6 14:03:32",
                                    "Device1 information :",
                                    "Model# Dual Bay RAID",
                                    "Mirroring(RAID1), F/W Rev. V1.02.03",
                                    "Configured Capacity : 931 GB(1953525168 Sectors)",
                                    "  HDD1 is present.(SATA)00",
                                    "    Model no.: WDC WD10EZEX",
                                    "    Serial no.: \"WD-1\"",
                                    "    Capacity : 931 GB(1953525168 Sectors)",
                                    "  HDD2 is present.(SATA)00",
                                    "    Model no.: ST1000DM003",
                                    "    Serial no.: \"Z1\"",
                                    "    Capacity : 931 GB(1953525168 Sectors)",
                                    kSeparatorLine};
  EXPECT_EQ(File(), expected);
  EXPECT_EQ(files["/logs/160506.log"].substr(0, 85), kSeparatorLine + "\r\n");

  EXPECT_FALSE(Cycle().saved);  // nothing changed: no save
  device.SetStates(0, 5);
  EventLogResult pulled = Cycle();
  ASSERT_EQ(pulled.alarms.size(), 1u);
  EXPECT_EQ(pulled.alarms[0].kind, kAlarmMemberRemoved);
  EXPECT_EQ(pulled.alarms[0].bay, 1u);
  device.SetStates(0, 6);
  Cycle();
  device.SetStates(0, 1, 0x02, 37);
  EventLogResult initialized = Cycle();
  EXPECT_TRUE(initialized.smartThresholdsWanted);
  Cycle();  // same progress: nothing
  device.SetStates(0, 1, 0x02, 99);
  Cycle();
  device.SetStates(0, 0);
  Cycle();
  const auto lines = File();
  const std::vector<std::string> tail(lines.begin() + expected.size(), lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "D1 HDD2 was removed, 052016/5/6 14:03:42",
                      "D1 HDD2 was inserted, 062016/5/6 14:03:47",
                      "D1 HDD2 was initialized, (SATA), 012016/5/6 14:03:52",
                      "  Model no.: ST1000DM003",
                      "  Serial no.: \"Z1\"",
                      "  Capacity : 931 GB(1953525168 Sectors)",
                      "D1 HDD1 --> HDD2 37%, 2016/5/6 14:03:52",
                      "D1 HDD1 --> HDD2 99%, 2016/5/6 14:04:02",
                      "D1 HDD1 --> HDD2 Done, 2016/5/6 14:04:07",
                  }));
}

TEST_F(LogFixture, RebuildEndings) {
  Cycle(true);
  device.SetStates(1, 0, 0x01, 57);
  Cycle();
  device.SetStates(0, 0);
  Cycle();
  EXPECT_EQ(File().back(), "D1 HDD1 OK, HDD2 OK, 2016/5/6 14:03:42");
  device.SetStates(1, 0, 0x01, 12);
  Cycle();
  device.SetStates(5, 0);  // the disk being rebuilt is pulled: the copy was cut short
  Cycle();
  auto file = File();
  EXPECT_EQ(file[file.size() - 2], "D1 HDD1 was removed, 052016/5/6 14:03:52");
  EXPECT_EQ(file.back(), "D1 HDD2 --> HDD1 Aborted, 2016/5/6 14:03:52");
  // Put back and copied onto at once: both steps are logged.
  device.SetStates(1, 0, 0x01, 97);
  Cycle();
  file = File();
  EXPECT_EQ(file[file.size() - 6].rfind("D1 HDD1 was inserted, 06", 0), 0u) << file[file.size() - 6];
  EXPECT_EQ(file.back().rfind("D1 HDD2 --> HDD1 97%, ", 0), 0u);
  // The copy ends in the cycle that loses its source: it had finished, and both are told.
  device.SetStates(0, 5);
  Cycle();
  file = File();
  EXPECT_EQ(file[file.size() - 2].rfind("D1 HDD2 was removed, 05", 0), 0u);
  EXPECT_EQ(file.back().rfind("D1 HDD2 --> HDD1 Done, ", 0), 0u);
}

TEST_F(LogFixture, RestartKeepsTheDayAndMidnightStartsANewFile) {
  Cycle(true);
  const std::size_t firstRun = File().size();
  EventLogWriter restarted("/logs");
  restarted.setFileFunctions(
      [this](const std::string& p, const std::string& c, std::string&) { return files[p] = c, true; },
      [this](const std::string& p, std::string& c) {
        return files.count(p) ? (c = files[p], FileReadStatus::Ok) : FileReadStatus::Missing;
      });
  restarted.WriteEventLog(1, {{&device.identity, &device.record}}, now, true);
  EXPECT_EQ(File().size(), firstRun * 2);  // earlier lines kept, a second banner follows
  // The restarted writer shows the day, but only its own lines are new.
  EXPECT_EQ(restarted.lines(), File());
  EXPECT_EQ(restarted.linesAdded(), firstRun);

  now = {2016, 5, 6, 23, 59, 58};
  device.SetStates(5, 0);  // a change across midnight is logged in the new day's first cycle
  const auto result = Cycle();
  EXPECT_EQ(result.alarms.size(), 1u);
  const auto day = File("/logs/160507.log");
  ASSERT_FALSE(day.empty());
  EXPECT_EQ(day.front(), kSeparatorLine);
  EXPECT_EQ(day[1], "Device1 information :");
  EXPECT_EQ(day.back(), "D1 HDD1 was removed, 052016/5/7 0:00:03");
  Cycle();
  EXPECT_EQ(File("/logs/160507.log").back(), "D1 HDD1 was removed, 052016/5/7 0:00:03");
}

TEST_F(LogFixture, ReturningToADayThatHasAFileReloadsIt) {
  Cycle(true);
  const auto before = File();
  now = {2016, 5, 7, 9, 0, 0};
  Cycle();
  now = {2016, 5, 6, 15, 0, 0};  // clock set back: the 6th's file must not get the 7th's lines
  device.SetStates(5, 0);
  Cycle();
  auto after = File();
  after.pop_back();
  EXPECT_EQ(after, before);
}

TEST_F(LogFixture, UnwritableFolderKeepsLinesAndSavesLater) {
  failSaves = true;
  EXPECT_EQ(Cycle(true).saveError, "read-only");
  device.SetStates(5, 0);
  EXPECT_EQ(Cycle(false).saveError, "");  // said once
  failSaves = false;
  // Tried again a minute after the failure, not every cycle.
  EXPECT_FALSE(Cycle().saved);
  EXPECT_TRUE(files.empty());
  now = CivilFromSeconds(CivilSeconds(now) + kDayLogRetrySeconds);
  EXPECT_TRUE(Cycle().saved);
  EXPECT_EQ(writer.unsavedLineCount(), 0u);
  const auto lines = File();
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[1], "RODE RUR v0.50.11-3 has started from 2016/5/6 14:03:32");
  EXPECT_EQ(lines.back(), "D1 HDD1 was removed, 052016/5/6 14:03:37");
}

// A folder that takes no writes for weeks: the waiting lines stay within the cap, the oldest go
// first and are counted, each cycle costs no write until a minute passed, and the count is told
// in the file once it takes writes again.
TEST(DayLogFileTest, WaitingLinesAreCappedAndTriedOnceAMinute) {
  std::string file;
  bool writable = false;
  unsigned writes = 0;
  DayLogFile log;
  log.setFunctions(
      [&](const std::string&, const std::string& text, std::string& error) {
        ++writes;
        if (!writable) return error = "read-only", false;
        file += text;
        return true;
      },
      [&](const std::string&) { return file.empty() ? FileReadStatus::Missing : FileReadStatus::Ok; });
  const std::string line(1000, 'x');
  const std::size_t linesPerDay = 2 * kDayLogWaitingCapBytes / line.size();
  std::int64_t now = 1000;
  for (std::size_t n = 0; n < linesPerDay; ++n, now += 5)
    log.Add("/logs/day.log", {line + std::to_string(n)}, now, "stamp");
  EXPECT_LE(log.waitingLines() * (line.size() + 2), kDayLogWaitingCapBytes);
  EXPECT_GT(log.waitingLines(), 0u);
  EXPECT_LE(writes, static_cast<unsigned>((now - 1000) / kDayLogRetrySeconds + 1));

  writable = true;
  EXPECT_TRUE(log.Retry(now + kDayLogRetrySeconds, "stamp"));
  const std::vector<std::string> lines = SplitLogLines(file);
  ASSERT_GT(lines.size(), 1u);
  EXPECT_EQ(lines[lines.size() - 2], line + std::to_string(linesPerDay - 1));  // the newest are kept
  const std::size_t dropped = linesPerDay - (lines.size() - 1);
  EXPECT_EQ(lines.back(),
            std::to_string(dropped) + " earlier log lines were dropped while the folder took no writes, stamp");
  EXPECT_EQ(log.waitingLines(), 0u);
}

TEST_F(LogFixture, DeviceChangesAreStampedAndRefreshTheFlags) {
  Cycle(true);
  writer.QueueDeviceChange("D2 New Device was found.");
  writer.QueueDeviceChange(kDeviceHadChangedLine);
  device.SetStates(5, 0);  // the other devices' changes of that cycle are reported all the same
  const auto result = Cycle();
  EXPECT_EQ(result.alarms.size(), 1u);
  const auto lines = File();
  const auto found = std::find(lines.begin(), lines.end(), "D2 New Device was found.2016/5/6 14:03:37");
  ASSERT_NE(found, lines.end());
  EXPECT_EQ(*(found - 1), kSeparatorLine);
  EXPECT_EQ(*(found + 1), "    Device had changed.2016/5/6 14:03:37");
  EXPECT_EQ(*(found + 2), "Device1 information :");
  EXPECT_FALSE(writer.deviceChangesPending());
}

TEST(DeviceInfoBlock, LogAndAlarmForms) {
  Enclosure device;
  device.SetStates(0, 5);
  std::vector<std::string> log, alarm;
  BuildDeviceInfoBlock(0, device.identity, device.record, InfoForm::Log, 0, log);
  BuildDeviceInfoBlock(0, device.identity, device.record, InfoForm::Alarm, kAlarmMemberRemoved, alarm);
  EXPECT_EQ(log[8], "  HDD2 is absent. 05");
  EXPECT_EQ(log[9], "    Model no.: ST1000DM003");  // the last known disk of the empty bay
  EXPECT_EQ(alarm[8], "  HDD2 is absent. ");
  EXPECT_EQ(alarm[9], "    Model no.: ST1000DM003");

  device.SetStates(5, 9);
  log.clear();
  alarm.clear();
  BuildDeviceInfoBlock(1, device.identity, device.record, InfoForm::Log, 0, log);
  BuildDeviceInfoBlock(1, device.identity, device.record, InfoForm::Alarm, kAlarmDeviceRemoved, alarm);
  EXPECT_EQ(log[0], "Device2 information :");
  EXPECT_EQ(log[5], "    Model no.:WDC WD10EZEX");  // the first bay's line has no blank
  EXPECT_EQ(log[8], "  HDD2 was failed, Capacity too small.09");
  EXPECT_EQ(alarm[4], "  HDD1 is absent. ");
  EXPECT_EQ(alarm[5], "  HDD2 was failed, Capacity too small.");
  EXPECT_EQ(AlarmSentence(kAlarmMemberRemoved, 0, 1), "Device1 P1 Hard Disk Drive fail.");
  EXPECT_EQ(AlarmSentence(kAlarmDeviceRemoved, 1, 0), "Device2 RAID system fail.");
}

TEST(DeviceChanges, FoundAndRemovedByIdentity) {
  IdentifyBlock a{}, b{}, c{};
  a[0] = 1;
  b[0] = 2;
  c[0] = 3;
  auto lines = [](const std::vector<DeviceChange>& changes) {
    std::vector<std::string> out;
    for (const auto& change : changes) out.push_back(change.line + (change.removedDevice >= 0 ? "!" : ""));
    return out;
  };
  EXPECT_EQ(lines(DetectDeviceChanges({a, b}, {a, c, b})), std::vector<std::string>{"D2 New Device was found."});
  EXPECT_EQ(lines(DetectDeviceChanges({a, b}, {b})), std::vector<std::string>{"D1 Device was removed.!"});
  EXPECT_TRUE(DetectDeviceChanges({a, b}, {b, a}).empty());
  EXPECT_EQ(lines(DetectDeviceChanges({}, {a, b})),
            (std::vector<std::string>{"D1 New Device was found.", "D2 New Device was found."}));
  EXPECT_EQ(lines(DetectDeviceChanges({a, b}, {})),
            (std::vector<std::string>{"D1 Device was removed.!", "D2 Device was removed.!"}));
  EXPECT_EQ(
      lines(DetectDeviceChanges({a}, {c, b})),
      (std::vector<std::string>{"D1 Device was removed.!", "D1 New Device was found.", "D2 New Device was found."}));
}

}  // namespace
}  // namespace rur

namespace rur {
namespace {

TEST(LogFollower, FollowsGrowthAndStartsOverOnANewDay) {
  LogFollower follower;
  std::vector<std::string> log{"a", "b"};
  EXPECT_EQ(follower.Fill(log).lines.size(), 2u);
  EXPECT_TRUE(follower.Follow(log).lines.empty());
  log.push_back("c");
  const LogViewStep grown = follower.Follow(log);
  EXPECT_FALSE(grown.refill);
  EXPECT_EQ(grown.lines, std::vector<std::string>{"c"});
  log = {"new day"};
  const LogViewStep restarted = follower.Follow(log);
  EXPECT_TRUE(restarted.refill);
  EXPECT_EQ(restarted.lines, std::vector<std::string>{"new day"});
  EXPECT_EQ(follower.shownLineCount(), 1u);

  std::string text, error;
  EXPECT_FALSE(LoadLogFileText("/nonexistent/160506.log", text, error));
  EXPECT_NE(error.find("does not exist"), std::string::npos);
  EXPECT_EQ(FileCaption("/var/log/160506.log"), "Event log - 160506.log");
  EXPECT_EQ(LiveCaption(false), "Event log - Real Time( Paused )");
}

}  // namespace
}  // namespace rur

namespace rur {
namespace {

#ifndef _WIN32
// A disk that fills in the middle of a write: what went in of the batch is taken back, so the day
// file keeps whole lines only, and the lines go in whole once the disk takes writes again.
TEST(EventLogFile, AWriteCutShortLeavesOnlyWholeLines) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("rur-log-cut-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  EventLogWriter writer(folder.string());
  IdentifyBlock identity{};
  StatusRecord record{};
  record[status_offset::kDriveFlags] = kBothPresent;
  LocalDateTime now{2016, 5, 6, 14, 3, 27};
  writer.WriteEventLog(1, {{&identity, &record}}, now, true);
  const fs::path day = folder / "160506.log";
  std::string before, error;
  ASSERT_EQ(ReadWholeFile(day.string(), before, error), FileReadStatus::Ok);

  // Room for a few bytes more: the write of the next line stops in its middle.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = before.size() + 10;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  record[status_offset::kDriveFlags] = kHdd1Present | kHdd2Absent;
  now.second += 5;
  const EventLogResult cut = writer.WriteEventLog(1, {{&identity, &record}}, now, false);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_FALSE(cut.saved);
  EXPECT_NE(cut.saveError, "");
  std::string after;
  ASSERT_EQ(ReadWholeFile(day.string(), after, error), FileReadStatus::Ok);
  EXPECT_EQ(after, before);  // the file as it was, no half line

  // A minute later the lines go in.
  now.minute += 1;
  EXPECT_TRUE(writer.WriteEventLog(1, {{&identity, &record}}, now, false).saved);
  ASSERT_EQ(ReadWholeFile(day.string(), after, error), FileReadStatus::Ok);
  EXPECT_NE(after.find("D1 HDD2 was removed, 002016/5/6 14:03:32"), std::string::npos);
  fs::remove_all(folder);
}
#endif

TEST(SensorWatch, CountsOnlyOnTwoReadingsInARowAndClearsOnce) {
  // Each row: fan RPM and temperature of one refresh, and the events it gives (log lines without
  // their stamps). The fan limit is 900 RPM, the temperature limit 55 C.
  const struct {
    unsigned rpm;
    unsigned celsius;
    std::vector<std::string> lines;
  } refreshes[] = {
      {2600, 38, {}},
      {0, 38, {}},  // one reading alone is not a stopped fan
      {2600, 50, {}},
      {850, 55, {}},  // below the minimum, at the limit: both start counting
      {800, 60, {"D2 Fan stopped, 800 RPM, ", "D2 Temperature too high, 60 C, "}},
      {0, 70, {}},                                 // no repeat while it holds
      {2400, 51, {"D2 Fan running, 2400 RPM, "}},  // 51 C is not yet 5 C below
      {0, 50, {"D2 Temperature normal, 50 C, "}},
      {0, 56, {"D2 Fan stopped, 0 RPM, "}},  // raised again only after it cleared
  };
  SensorWatch watch;
  const SensorLimits limits{900, 55};
  StatusRecord record{};
  record[status_offset::kEnvironmentFlags] = kSensorsValid;
  std::vector<std::uint8_t> kinds;
  for (const auto& refresh : refreshes) {
    WriteLe(record.data() + status_offset::kFanSpeed, 2, refresh.rpm);
    record[status_offset::kTemperature] = static_cast<std::uint8_t>(refresh.celsius);
    std::vector<std::string> lines;
    for (const SensorEvent& event : watch.Check(3, 1, record, limits)) {
      lines.push_back(event.logLine);
      if (event.alarmKind) kinds.push_back(event.alarmKind);
    }
    EXPECT_EQ(lines, refresh.lines) << refresh.rpm << " RPM, " << refresh.celsius << " C";
  }
  EXPECT_EQ(kinds, (std::vector<std::uint8_t>{kAlarmFanStopped, kAlarmTemperatureHigh, kAlarmFanStopped}));

  // An enclosure without sensors reads as zero and never raises anything.
  StatusRecord silent{};
  silent[status_offset::kEnvironmentFlags] = kNoSensors;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(watch.Check(4, 0, silent, limits).empty());
}

// The window and a headless monitor on one data folder: each writer stamps its lines under the
// folder's lock and adds them to the end of the file, so the other's lines stay, each once, in the
// order of their stamps. A device that moved keeps what the log remembers of it (a rebuild
// followed elsewhere ends nowhere).
TEST(EventLogFile, TwoWritersShareTheDayFile) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("rur-log-two-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  EventLogWriter window(folder.string()), monitor(folder.string());
  IdentifyBlock identity{};
  StatusRecord windowRecord{}, monitorRecord{};
  LocalDateTime now{2016, 5, 6, 14, 0, 0};
  auto cycle = [&](EventLogWriter& writer, StatusRecord& record, std::uint8_t flags, bool started) {
    now = CivilFromSeconds(CivilSeconds(now) + 1);
    record[status_offset::kDriveFlags] = flags;
    record[status_offset::kHdd2StateCode] = flags == kBothPresent ? 0x00 : 0x05;
    EXPECT_TRUE(writer.WriteEventLog(1, {{&identity, &record}}, now, started).saved || !started);
  };
  cycle(window, windowRecord, kBothPresent, true);
  cycle(monitor, monitorRecord, kBothPresent, true);
  for (int round = 0; round < 20; ++round) {
    const std::uint8_t flags = round % 2 ? kBothPresent : (kHdd1Present | kHdd2Absent);
    cycle(round % 3 ? window : monitor, round % 3 ? windowRecord : monitorRecord, flags, false);
  }
  std::string contents, error;
  ASSERT_EQ(ReadWholeFile((folder / "160506.log").string(), contents, error), FileReadStatus::Ok);
  const std::vector<std::string> lines = SplitLogLines(contents);
  // The window shows the file as it found it and then its own lines, all of them in the file.
  auto next = lines.begin();
  for (const std::string& shown : window.lines()) {
    next = std::find(next, lines.end(), shown);
    ASSERT_NE(next, lines.end()) << shown;
    ++next;
  }
  std::vector<std::string> stamped;
  // (A disk seen back in the array is also logged as inserted, with the same stamp.)
  for (const std::string& line : lines)
    if ((line.rfind("D1 HDD2 was ", 0) == 0 && line.find(" inserted, ") == std::string::npos) ||
        line.find(" has started from ") != std::string::npos)
      stamped.push_back(line.substr(line.rfind(' ') + 1));
  EXPECT_TRUE(std::is_sorted(stamped.begin(), stamped.end())) << contents;
  EXPECT_EQ(std::set<std::string>(stamped.begin(), stamped.end()).size(), stamped.size()) << "a line twice";
  // Two banners, and every change of each writer: 20 rounds whose flags differ from that writer's
  // previous cycle except where the same writer saw the same flags twice.
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find(" has started from ") != std::string::npos; }),
            2);
  EXPECT_GE(stamped.size(), 2u + 12u);

  // The enclosure at the first place was following a rebuild; after a new device list it is
  // another one, which never rebuilt: no ending line for it.
  StatusRecord rebuilding = windowRecord;
  rebuilding[status_offset::kDriveFlags] = kBothPresent;
  rebuilding[status_offset::kActivityFlags] = kHdd2Rebuilding;
  rebuilding[status_offset::kActivityProgress] = 40;
  now = CivilFromSeconds(CivilSeconds(now) + 1);
  window.WriteEventLog(1, {{&identity, &rebuilding}}, now, false);
  window.FollowDevices({-1});
  StatusRecord healthy = rebuilding;
  healthy[status_offset::kActivityFlags] = 0;
  now = CivilFromSeconds(CivilSeconds(now) + 1);
  window.WriteEventLog(1, {{&identity, &healthy}}, now, false);
  const auto& after = window.lines();
  EXPECT_EQ(std::count_if(after.begin(), after.end(),
                          [](const std::string& l) { return l.rfind("D1 HDD1 --> HDD2 40%, ", 0) == 0; }),
            1);
  for (const std::string& line : after) {
    EXPECT_EQ(line.find("HDD1 OK, HDD2 OK"), std::string::npos);
    EXPECT_EQ(line.find("Done, "), std::string::npos);
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace rur
