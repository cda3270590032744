// SPDX-License-Identifier: GPL-3.0-or-later
// Adversarial timings of the watch, each case placed at five phases of the 5 s cycle on the
// virtual clock: one alarm per trouble of a bay, the first seconds after start, two changes in one
// cycle, enclosures that go and come (flapping included), a rebuild whose source is pulled. Every
// case must give exactly its events, in any order the phase makes, and its alarms in time.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include <unistd.h>

#include "monitor/array_health.h"
#include "monitor/event_log.h"
#include "support/simulated_engine.h"

namespace rur {
namespace {

using namespace test;
using Kind = sim::EventKind;

// What a run heard: each event worth counting as "name bay" ("alarm1 2" for an alarm of kind 1
// about HDD2), with the program time it came at.
struct Heard {
  std::uint64_t ms;
  std::string label;
  std::string text;
};

// One case at one phase: the engine over the scenario, with a day log in memory and a data folder
// of its own.
struct WatchRun {
  WatchRun(sim::Scenario scenario, const std::string& folder) : run(std::move(scenario), false) {
    log.setFileFunctions(
        [this](const std::string& path, const std::string& text, std::string&) { return files[path] = text, true; },
        [this](const std::string& path, std::string& text) {
          if (!files.count(path)) return FileReadStatus::Missing;
          text = files[path];
          return FileReadStatus::Ok;
        });
    run.engine.AttachEventLog(&log);
    run.engine.AddEventListener([this](const LogEvent& event) {
      const std::string name(LogEventName(event.tag.kind));
      static const char* const kCounted[] = {
          "member-removed", "member-inserted", "member-initialized", "member-failed", "device-removed", "device-found",
          "rebuild-done",   "rebuild-aborted", "flapping",           "steady",        "disk-replaced"};
      std::string label;
      if (event.tag.kind == LogEventKind::Alarm) {
        label = "alarm" + std::to_string(event.alarmKind);
      } else if (std::find(std::begin(kCounted), std::end(kCounted), name) != std::end(kCounted)) {
        label = name;
      } else {
        if (event.tag.kind == LogEventKind::RebuildProgress) progressMs.push_back(run.clock.nowMs());
        return;
      }
      heard.push_back({run.clock.nowMs(), label + " " + std::to_string(event.tag.bay), event.text});
    });
    run.engine.UseDataFolder(folder);
    run.engine.Start();
  }

  std::vector<std::string> Labels() const {
    std::vector<std::string> labels;
    for (const Heard& h : heard) labels.push_back(h.label);
    std::sort(labels.begin(), labels.end());
    return labels;
  }
  std::vector<std::string> Lines() const { return log.lines(); }
  bool Logged(const std::string& start) const {
    const auto lines = Lines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(start, 0) == 0; });
  }
  const Heard* First(const std::string& labelStart) const {
    for (const Heard& h : heard)
      if (h.label.rfind(labelStart, 0) == 0) return &h;
    return nullptr;
  }

  SimulatedEngine<> run;
  std::map<std::string, std::string> files;
  EventLogWriter log{"/logs"};
  std::vector<Heard> heard;
  std::vector<std::uint64_t> progressMs;
};

sim::TimelineEvent At(std::uint64_t ms, unsigned drive, Kind kind, unsigned hdd = 0) {
  sim::TimelineEvent event;
  event.atMs = ms;
  event.drive = drive;
  event.kind = kind;
  event.hdd = hdd;
  return event;
}

sim::DriveSpec WithMember(sim::DriveSpec drive, unsigned hdd, std::uint8_t state) {
  drive.enclosure.members[hdd - 1].state = state;
  return drive;
}

sim::DriveSpec Rebuilding(std::uint64_t position = 0, std::uint64_t speed = 1000) {
  sim::DriveSpec drive = EnclosureDrive(1);
  drive.enclosure.members[1].state = sim::kMemberRebuilding;
  drive.enclosure.rebuild = sim::RebuildSpec{2, position, 0, speed};
  return drive;
}

TEST(EngineWatch, AdversarialTimingsAtEveryPhase) {
  struct Case {
    const char* name;
    std::vector<sim::DriveSpec> drives;
    std::vector<sim::TimelineEvent> timeline;  // at the phase plus atMs
    std::vector<std::string> expected;         // labels, in any order
    // The first alarm of kind 1 or 2 comes by this program time (a trouble found at the start,
    // whatever the phase); 0: within a cycle and a second of the first change.
    std::uint64_t alarmByMs = 0;
    std::uint64_t runMs = 60000;
    std::function<void(WatchRun&)> check = nullptr;
  };
  const std::uint64_t kWholeCopy = 1953525168ull;
  sim::TimelineEvent otherDisk = At(10000, 1, Kind::MemberInserted, 2);
  otherDisk.disk = sim::MemberDisk{"ST1000DM010-2EP102", "ZN1NEWDISK", "CC46", kWholeCopy, {}};
  sim::TimelineEvent copyStart = At(30300, 1, Kind::RebuildStarted, 2);
  copyStart.speed = kWholeCopy / 100;
  // Started at 16 s, copied in eight seconds: done by 25 s.
  sim::TimelineEvent quickCopy = At(16000, 1, Kind::RebuildStarted, 2);
  quickCopy.speed = kWholeCopy / 8;
  std::vector<sim::TimelineEvent> flapping;
  for (std::uint64_t at = 30000; at < 330000; at += 4000) {
    flapping.push_back(At(at, 1, Kind::Unplugged));
    flapping.push_back(At(at + 2000, 1, Kind::Plugged));
  }
  sim::DriveSpec replacement = WithMember(EnclosureDrive(2), 2, sim::kMemberAbsent);
  replacement.plugged = false;
  replacement.enclosure.members[0].disk.serial = "WD-OTHERENCLOSURE";

  const Case cases[] = {
      // One trouble, one alarm.
      {"a failure and the later pull of the failed disk",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::MemberFailed, 2), At(40000, 1, Kind::MemberRemoved, 2)},
       {"member-failed 2", "alarm1 2", "member-removed 2"}},
      {"a disk that never joined, pulled",
       {WithMember(EnclosureDrive(1), 2, sim::kMemberInserted)},
       {At(30000, 1, Kind::MemberRemoved, 2)},
       {"member-inserted 2", "alarm1 2", "member-removed 2"},
       2000},
      {"a disk failed at the start, pulled",
       {WithMember(EnclosureDrive(1), 2, sim::kMemberFailed)},
       {At(30000, 1, Kind::MemberRemoved, 2)},
       {"member-failed 2", "alarm1 2", "member-removed 2"},
       2000,
       60000,
       [](WatchRun& w) {
         // The dump and the later line name the failure alike.
         EXPECT_TRUE(w.Logged("  HDD2 was failed, Capacity too small.09"));
         EXPECT_FALSE(w.Logged("  HDD2 was failed, Unmatched SSD."));
       }},
      {"a blink of the disk being rebuilt",
       {Rebuilding()},
       {At(30000, 1, Kind::MemberRemoved, 2), At(30800, 1, Kind::MemberInserted, 2)},
       {"member-removed 2", "alarm1 2", "member-inserted 2", "rebuild-aborted 2"}},
      {"an enclosure blinking during a rebuild",
       {Rebuilding()},
       {At(30000, 1, Kind::Unplugged), At(30800, 1, Kind::Plugged)},
       {"device-removed 0", "alarm2 0", "device-found 0"}},
      // The first seconds.
      {"a member absent at the start",
       {WithMember(EnclosureDrive(1), 2, sim::kMemberAbsent)},
       {},
       {"member-removed 2", "alarm1 2"},
       2000},
      {"a pull in the first seconds",
       {EnclosureDrive(1)},
       {At(300, 1, Kind::MemberRemoved, 2)},
       {"member-removed 2", "alarm1 2"}},
      {"a pull and its return in the first seconds",
       {EnclosureDrive(1)},
       {At(1500, 1, Kind::MemberRemoved, 2), At(9000, 1, Kind::MemberInserted, 2)},
       {"member-removed 2", "alarm1 2", "member-inserted 2"}},
      {"a disk swapped in the first ten seconds",
       {EnclosureDrive(1)},
       {At(6000, 1, Kind::MemberRemoved, 2), otherDisk},
       {"member-removed 2", "alarm1 2", "member-inserted 2", "disk-replaced 2", "alarm5 2"},
       0,
       60000,
       [](WatchRun& w) { EXPECT_TRUE(w.Logged("D1 HDD2 replaced: serial \"Z9A0B1C2\" -> \"ZN1NEWDISK\"")); }},
      {"an enclosure unplugged in the first seconds",
       {EnclosureDrive(1)},
       {At(1000, 1, Kind::Unplugged)},
       {"device-removed 0", "alarm2 0"},
       0,
       60000,
       [](WatchRun& w) { EXPECT_TRUE(w.Logged("Device1 information :")); }},
      // Two changes in one cycle.
      {"a rebuild that ends as the other disk is pulled",
       {WithMember(EnclosureDrive(1), 2, sim::kMemberAbsent)},
       {At(15000, 1, Kind::MemberInserted, 2), quickCopy, At(25300, 1, Kind::MemberRemoved, 1)},
       {"member-removed 2", "alarm1 2", "member-inserted 2", "member-initialized 2", "rebuild-done 2",
        "member-removed 1", "alarm1 1"},
       2000},
      {"an insertion and its rebuild's start in one cycle",
       {WithMember(EnclosureDrive(1), 2, sim::kMemberAbsent)},
       {At(30000, 1, Kind::MemberInserted, 2), copyStart},
       {"member-removed 2", "alarm1 2", "member-inserted 2", "member-initialized 2"},
       2000},
      // Enclosures.
      {"a replacement enclosure with HDD2 absent",
       {EnclosureDrive(1), replacement},
       {At(30000, 1, Kind::Unplugged), At(31000, 2, Kind::Plugged)},
       {"device-removed 0", "alarm2 0", "device-found 0", "member-removed 2", "alarm1 2"},
       0,
       60000,
       [](WatchRun& w) {
         const Heard* found = w.First("device-found");
         const Heard* alarm = w.First("alarm1");
         ASSERT_TRUE(found && alarm);
         EXPECT_LT(found - w.heard.data(), alarm - w.heard.data()) << "the alarm came before its enclosure was found";
       }},
      {"an unplug of half a second",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::Unplugged), At(30500, 1, Kind::Plugged)},
       {"device-removed 0", "alarm2 0", "device-found 0"}},
      {"an unplug of 4.9 seconds",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::Unplugged), At(34900, 1, Kind::Plugged)},
       {"device-removed 0", "alarm2 0", "device-found 0"}},
      {"an enclosure flapping for five minutes",
       {EnclosureDrive(1)},
       flapping,
       {"device-removed 0", "alarm2 0", "flapping 0", "alarm2 0", "device-found 0", "steady 0"},
       0,
       420000,
       [](WatchRun& w) {
         EXPECT_TRUE(w.Logged("D1 Device is flapping: unplugged 3 times, "));
         EXPECT_TRUE(w.Logged("D1 Device has been steady for a minute, after 75 unplugs, "));
       }},
      {"an enclosure flapping, then away for good",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::Unplugged), At(32000, 1, Kind::Plugged), At(34000, 1, Kind::Unplugged),
        At(36000, 1, Kind::Plugged), At(38000, 1, Kind::Unplugged), At(40000, 1, Kind::Plugged),
        At(42000, 1, Kind::Unplugged)},
       {"device-removed 0", "alarm2 0", "flapping 0", "alarm2 0", "steady 0", "alarm2 0"},
       0,
       120000,
       [](WatchRun& w) { EXPECT_TRUE(w.Logged("D1 Device has stayed away for a minute, after 4 unplugs, ")); }},
      // A rebuild's source pulled.
      {"the source of a rebuild pulled",
       {Rebuilding()},
       {At(30000, 1, Kind::MemberRemoved, 1)},
       {"member-removed 1", "alarm1 1", "rebuild-aborted 2"},
       0,
       90000,
       [](WatchRun& w) {
         const Heard* alarm = w.First("alarm1");
         ASSERT_TRUE(alarm);
         EXPECT_NE(alarm->text.find(kNoCompleteCopySentence), std::string::npos) << alarm->text;
         const Enclosure* enclosure = w.run.engine.enclosure(0);
         ASSERT_TRUE(enclosure);
         EXPECT_EQ(enclosure->health.array, ArrayState::Failed);
         EXPECT_NE(enclosure->health.summary.find("only complete copy"), std::string::npos);
         const Heard* aborted = w.First("rebuild-aborted");
         ASSERT_TRUE(aborted);
         EXPECT_TRUE(w.progressMs.empty() || w.progressMs.back() <= aborted->ms) << "the progress went on";
       }},
  };

  const std::string folder =
      (std::filesystem::temp_directory_path() / ("rur-timings-" + std::to_string(getpid()))).string();
  for (const Case& c : cases) {
    for (const std::uint64_t phase : {0, 1000, 2000, 3300, 4700}) {
      SCOPED_TRACE(std::string(c.name) + " at phase " + std::to_string(phase) + " ms");
      std::filesystem::remove_all(folder);
      std::filesystem::create_directories(folder);
      sim::Scenario scenario = ScenarioOf(c.drives);
      for (sim::TimelineEvent event : c.timeline) {
        event.atMs += phase;
        scenario.timeline.push_back(event);
      }
      WatchRun w(std::move(scenario), folder);
      w.run.engine.RunFor(c.runMs + phase);
      std::vector<std::string> expected = c.expected;
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(w.Labels(), expected);
      const std::uint64_t by = c.alarmByMs != 0 ? c.alarmByMs : c.timeline.front().atMs + phase + 6000;
      for (const Heard& h : w.heard) {
        if (h.label.rfind("alarm1", 0) != 0 && h.label.rfind("alarm2", 0) != 0) continue;
        EXPECT_LE(h.ms, by) << h.label;
        break;
      }
      if (c.check) c.check(w);
    }
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace rur
