// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include <unistd.h>

#include "monitor/ata_text.h"
#include "monitor/device_names.h"
#include "monitor/event_log.h"
#include "support/simulated_engine.h"
#include "transport/command_frame.h"
#include "transport/commands.h"

namespace rur {
namespace {

using namespace test;

using EngineRun = SimulatedEngine<>;

std::string Model(const StatusRecord& record, std::size_t at) {
  return TrimModelText(AtaStringToText(record.data() + at, kModelLength));
}

TEST(EngineDetection, FindsTheEnclosureAndSkipsThePlainDisk) {
  EngineRun run(ScenarioOf({PlainDisk(0), EnclosureDrive(1)}));
  ASSERT_TRUE(run.engine.RunUntilDetected(20000));
  const Engine& engine = run.engine;
  ASSERT_EQ(engine.deviceCount(), 1u);
  EXPECT_EQ(engine.devices().current[0], 0x41);
  EXPECT_EQ(run.CommandsTo(0), 1u);  // one probe, then its 2 s wait ran out; no second pass
  EXPECT_GE(run.clock.nowMs(), 2000u);
  // The first refresh follows at once and traces its queries on the same panel.
  const auto& panel1 = run.ui.panelTexts[1];
  EXPECT_NE(std::find(panel1.begin(), panel1.end(), "Detected OK"), panel1.end());
  EXPECT_EQ(run.ui.notice.text, " ");
  EXPECT_FALSE(run.ui.notice.shown);
  EXPECT_TRUE(run.ui.navigationOn);
  EXPECT_TRUE(engine.deviceChecked(0));
  EXPECT_FALSE(engine.deviceShown(1));
  EXPECT_EQ(engine.requests().flags() & (REQ_SMART_THRESHOLDS | REQ_SMART_DATA), REQ_SMART_THRESHOLDS | REQ_SMART_DATA);

  const StatusRecord& record = run.Record(1);
  EXPECT_EQ(record[status_offset::kOwnerDrive], 1);
  EXPECT_EQ(record[status_offset::kFilledMark], kRecordFilled);
  EXPECT_EQ(record[status_offset::kArrayMode], kModeMirroring);
  EXPECT_EQ(record[status_offset::kDriveFlags], kBothPresent);
  EXPECT_EQ(ReadLe(record.data() + status_offset::kArrayCapacity, 5), 1953525168u);
  EXPECT_EQ(Model(record, status_offset::kHdd1Model), "WDC WD10EZEX-08WN4A0");
  EXPECT_EQ(Model(record, status_offset::kHdd2Model), "ST1000DM010-2EP102");
  EXPECT_EQ(record[status_offset::kEnvironmentFlags], kSensorsValid);
  EXPECT_EQ(ReadLe(record.data() + status_offset::kFanSpeed, 2), 2600u);
  EXPECT_EQ(record[status_offset::kTemperature], 38);
  EXPECT_EQ(DeviceProductName(engine.identity(1)), "RODE Dual Bay RAID");
  EXPECT_EQ(run.ui.titleText, "RODE RUR v0.50.11-3 - RODE Dual Bay RAID [sdb1]");
  EXPECT_EQ(run.host.refusedRequests(), 0u);
}

TEST(EngineDetection, SecondPassOnlyWhenNothingWasFound) {
  EngineRun run(ScenarioOf({PlainDisk(0), PlainDisk(1)}));
  ASSERT_TRUE(run.engine.RunUntilDetected(30000));
  EXPECT_EQ(run.engine.deviceCount(), 0u);
  EXPECT_EQ(run.CommandsTo(0), 2u);
  EXPECT_EQ(run.CommandsTo(1), 2u);
  EXPECT_EQ(run.ui.notice.text, "No Drive found! ");
  EXPECT_FALSE(run.ui.navigationOn);
}

TEST(EngineDetection, MemberOrderNamesCapacitiesAndControllerKinds) {
  sim::DriveSpec swapped = EnclosureDrive(0, sim::kArrayStriping);
  swapped.enclosure.swapPorts = true;
  swapped.enclosure.productName.clear();  // no name from the controller: INQUIRY gives it
  swapped.inquiry = {"ABCDEFGH", "IJKLMNOPQRSTUVWX", "0001"};
  swapped.enclosure.members[1].disk.capacity = 1000;
  swapped.enclosure.members[0].disk.capacity = 1200;
  swapped.enclosure.sensors = false;
  sim::DriveSpec multiplier = EnclosureDrive(2, sim::kArrayBypass);
  multiplier.enclosure.kind = ControllerKind::PortMultiplier;
  EngineRun run(ScenarioOf({swapped, PlainDisk(1), multiplier}));
  ASSERT_TRUE(run.engine.RunUntilDetected(20000));
  const Engine& engine = run.engine;
  ASSERT_EQ(engine.deviceCount(), 2u);

  const StatusRecord& striped = run.Record(0);
  EXPECT_EQ(striped[status_offset::kArrayMode], kModeStriping);
  EXPECT_EQ(Model(striped, status_offset::kHdd1Model), "WDC WD10EZEX-08WN4A0");
  EXPECT_EQ(ReadLe(striped.data() + status_offset::kHdd1Capacity, 6), 1200u);
  EXPECT_EQ(ReadLe(striped.data() + status_offset::kArrayCapacity, 6), 2000u);  // twice the smaller member
  EXPECT_EQ(striped[status_offset::kEnvironmentFlags], kNoSensors);
  EXPECT_TRUE(engine.devices().currentInfo[0].memberOrder);
  const std::string stored(engine.identity(0).begin() + identify_offset::kProductName,
                           engine.identity(0).begin() + identify_offset::kProductName + 16);
  EXPECT_EQ(stored, "BADCFEHGJILKNMPO");
  EXPECT_EQ(DeviceProductName(engine.identity(0)), "ABCDEFGHIJKLMNOP");

  EXPECT_EQ(engine.devices().current[1], 0x42);
  EXPECT_EQ(engine.devices().currentInfo[1].controllerKind, ControllerKind::PortMultiplier);
  EXPECT_FALSE(engine.devices().currentInfo[1].memberOrder);
  EXPECT_EQ(run.Record(2)[status_offset::kArrayMode], kModeBypass);
}

// A server's eight internal disks and enclosures at drives 9 and 12 (and one enclosure behind an
// internal bus at 13): by default only the USB disks are probed, so finding them costs no more than
// a second of program time each, the internal disks nothing; every disk with allDisks; a drive
// named explicitly whatever its bus.
TEST(EngineDetection, ProbesUsbDisksUnlessToldOtherwise) {
  struct Case {
    const char* name;
    ProbeScope scope;
    std::vector<unsigned> found;
    bool internalProbed;
  };
  const Case cases[] = {
      {"USB disks only", {}, {9, 12}, false},
      {"every disk", {true, {}}, {9, 12, 13}, true},
      {"drive 13 named", {false, {13}}, {9, 12, 13}, false},
  };
  for (const Case& c : cases) {
    std::vector<sim::DriveSpec> drives;
    for (unsigned number = 0; number < 8; ++number) {
      drives.push_back(PlainDisk(number));
      drives.back().bus = number < 4 ? "sata" : "sas";
    }
    drives.push_back(EnclosureDrive(9));
    drives.push_back(EnclosureDrive(12));
    drives.push_back(EnclosureDrive(13));
    drives.back().bus = "sata";
    EngineRun run(ScenarioOf(drives), false);
    run.engine.SetProbeScope(c.scope);
    run.engine.Start();
    ASSERT_TRUE(run.engine.RunUntilDetected(120000)) << c.name;
    std::vector<unsigned> found;
    for (unsigned i = 0; i < run.engine.deviceCount(); ++i) found.push_back(run.engine.DriveAt(i));
    EXPECT_EQ(found, c.found) << c.name;
    EXPECT_EQ(run.engine.DriveNames(12).path, "/dev/sdm") << c.name;
    EXPECT_EQ(run.CommandsTo(0) != 0, c.internalProbed) << c.name;
    if (!c.internalProbed) {
      EXPECT_LE(run.clock.nowMs(), 1000u * c.found.size()) << c.name;
    }
    EXPECT_EQ(run.host.refusedRequests(), 0u) << c.name;
  }
}

TEST(EngineDeviceChanges, RecountFiveSecondsAfterTheLastNotice) {
  sim::Scenario scenario = ScenarioOf({PlainDisk(0), EnclosureDrive(1)});
  sim::TimelineEvent unplug;
  unplug.atMs = 40000;
  unplug.drive = 1;
  unplug.kind = sim::EventKind::Unplugged;
  scenario.timeline.push_back(unplug);
  EngineRun run(scenario);
  ASSERT_TRUE(run.engine.RunUntilDetected(20000));
  Engine& engine = run.engine;

  // A notice that changes no count starts no probe.
  const std::size_t before = run.CommandsTo(0);
  engine.DeviceChangeNotice();
  engine.RunFor(6000);
  EXPECT_EQ(engine.detection().countdown(), 0);
  EXPECT_EQ(run.CommandsTo(0), before);

  // The enclosure is unplugged at 40 s; a second notice 3 s later restarts the wait.
  engine.RunFor(40100 - run.clock.nowMs());
  EXPECT_GE(engine.detection().countdown(), kDeviceChangeStart);  // the unplug was noticed
  engine.RunFor(2900);
  engine.DeviceChangeNotice();
  engine.RunFor(4900);
  EXPECT_EQ(engine.deviceCount(), 1u);
  EXPECT_FALSE(engine.detection().probing());
  engine.RunFor(6000);
  EXPECT_EQ(engine.deviceCount(), 0u);
  EXPECT_EQ(run.ui.notice.text, "No Drive found! ");
}

TEST(EngineRefresh, FailingDeviceIsNotAnsweringAfterSixFailures) {
  EngineRun run(ScenarioOf({EnclosureDrive(0)}));
  ASSERT_TRUE(run.engine.RunUntilDetected(20000));
  Engine& engine = run.engine;
  engine.RunFor(12000);  // armed, then a first refresh draws the page
  ASSERT_FALSE(engine.programStarted());
  sim::Fault fault;
  fault.drive = 0;
  fault.kind = sim::FaultKind::TransportFailure;
  fault.fromMs = run.clock.nowMs();
  run.host.controller(0)->addFault(fault);

  int failures = 0;
  unsigned lastCounter = 0;
  for (int cycle = 0; cycle < 12 && !engine.watch(0)->notAnswering(); ++cycle) {
    engine.RunFor(5000);
    const unsigned counter = engine.devices().currentInfo[0].failureCounter;
    if (counter % 2 == 1 || (counter == 0 && lastCounter == 10)) ++failures;
    lastCounter = counter;
  }
  // The count gives up where it always did, but the device stays ticked and watched.
  EXPECT_TRUE(engine.watch(0)->notAnswering());
  EXPECT_TRUE(engine.deviceChecked(0));
  EXPECT_EQ(engine.devices().currentInfo[0].failureCounter, 0u);
  EXPECT_EQ(failures, 6);
}

// Another process holds the controller (a second program on the same state folder, in the middle
// of an upgrade): the refresh waits about a second, skips the device without counting a failure,
// says so once a minute, and reads it again as soon as it is let go.
TEST(EngineRefresh, ControllerHeldByAnotherProcessIsSkippedNotFailed) {
  const auto folder = std::filesystem::temp_directory_path() / ("rur-held-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  EngineRun run(ScenarioOf({EnclosureDrive(1)}), false);
  run.host.ShareStateFolder(folder.string());
  Engine& engine = run.engine;
  engine.Start();
  ASSERT_TRUE(engine.RunUntilDetected(20000));
  engine.RunFor(12000);  // armed, then a first refresh draws the page
  ASSERT_FALSE(engine.programStarted());

  VirtualClock otherClock(LocalDateTime{2026, 3, 14, 9, 0, 0});
  sim::SimulatedHost other(ScenarioOf({EnclosureDrive(1)}), otherClock);
  other.ShareStateFolder(folder.string());
  {
    const HoldAttempt held = other.HoldController(1, 0);
    ASSERT_EQ(held.outcome, HoldAttempt::Outcome::Held) << held.error;
    const std::size_t before = run.CommandsTo(1);
    engine.RunFor(10000);  // two refreshes, a second of real time each
    EXPECT_EQ(run.CommandsTo(1), before);
    EXPECT_TRUE(engine.deviceChecked(0));
    EXPECT_EQ(engine.devices().currentInfo[0].failureCounter, 0u);
    const auto& texts = run.ui.panelTexts[4];
    EXPECT_EQ(
        std::count_if(texts.begin(), texts.end(),
                      [](const std::string& text) { return text.rfind("D1 skipped: /dev/sdb is in use by ", 0) == 0; }),
        1);
  }
  const std::size_t before = run.CommandsTo(1);
  engine.RunFor(5000);
  EXPECT_GT(run.CommandsTo(1), before);
  EXPECT_EQ(engine.devices().currentInfo[0].failureCounter, 0u);
  std::filesystem::remove_all(folder);
}

TEST(EngineRefresh, FirstTickArmsTheMonitorAndRefreshes) {
  EngineRun run(ScenarioOf({EnclosureDrive(0)}));
  Engine& engine = run.engine;
  ASSERT_TRUE(engine.RunUntilDetected(20000));
  // Detection left the refresh and both SMART passes pending; they are served at once, the
  // refresh reading the members.
  const std::uint64_t published = run.clock.nowMs();
  engine.RunFor(1000);
  // Detection read the members once, the first cycle again.
  EXPECT_EQ(run.Frames(0, QUERY_MEMBERS), 2u);
  EXPECT_EQ(engine.refreshCount(), 1u);
  EXPECT_EQ(engine.requests().flags() & MONITOR_ARMED, 0);
  // The first 5 s tick arms the monitor and asks for the next refresh: one a cycle from the start.
  const unsigned refreshes = engine.refreshCount();
  engine.RunFor(published + 5000 + 100 - run.clock.nowMs());
  EXPECT_EQ(engine.refreshCount(), refreshes + 1);
  EXPECT_EQ(engine.requests().flags(), MONITOR_ARMED);
  engine.RunFor(5000);
  EXPECT_EQ(engine.refreshCount(), refreshes + 2);
}

}  // namespace
}  // namespace rur

namespace rur {
namespace {

using namespace test;

// A controller that reports a member "being rebuilt" while no rebuild runs would keep the
// refresh alternating between its two queries; the cycle ends after a few passes all the same.
TEST(EngineRefresh, ContradictingControllerCannotHangTheCycle) {
  sim::DriveSpec drive = EnclosureDrive(0);
  drive.enclosure.members[1].state = sim::kMemberRebuilding;
  drive.enclosure.rebuild.reset();
  EngineRun run(ScenarioOf({drive}));
  ASSERT_TRUE(run.engine.RunUntilDetected(20000));
  run.engine.RunFor(11000);
  ASSERT_FALSE(run.engine.programStarted());
  run.host.clearRequests();
  run.engine.RefreshNow();
  EXPECT_LE(run.CommandsTo(0), 1u + 2u * 4u);
  EXPECT_GE(run.CommandsTo(0), 1u + 2u * 3u) << "the alternation did not happen";
  EXPECT_EQ(run.engine.changedMask(), 0x01);
  EXPECT_TRUE(run.engine.deviceChecked(0));
  EXPECT_FALSE(run.engine.refreshInProgress());
}

// Each change of a timing case, placed at five phases of the 5 s cycle, is reported exactly once:
// the removal or failure with its alarm, the return, nothing invented. (Their order depends on the
// phase: a cycle raises its alarms after its lines, and an enclosure's removal is told when the new
// device list is published.) A member's alarm comes within a cycle of the change.
TEST(EngineWatch, EveryChangeOnceAtEveryPhase) {
  using Kind = sim::EventKind;
  struct Case {
    const char* name;
    std::vector<sim::DriveSpec> drives;
    std::vector<sim::TimelineEvent> timeline;  // at the phase plus atMs
    std::optional<LocalDateTime> start;
    std::vector<std::string> expected;      // "event bay" of the member, device and alarm events
    std::uint64_t memberAlarmByMs = 36000;  // at the phase plus this, a member's alarm was raised
  };
  auto At = [](std::uint64_t ms, unsigned drive, Kind kind, unsigned hdd = 0) {
    sim::TimelineEvent event;
    event.atMs = ms;
    event.drive = drive;
    event.kind = kind;
    event.hdd = hdd;
    return event;
  };
  auto rebuilding = [] {
    sim::DriveSpec drive = EnclosureDrive(1);
    drive.enclosure.rebuild = sim::RebuildSpec{2, 0, 0, 1000};  // far from its end
    return drive;
  };
  auto withoutHdd2 = [] {
    sim::DriveSpec drive = EnclosureDrive(1);
    drive.enclosure.members[1].state = sim::kMemberAbsent;
    return drive;
  };
  auto unplugged = [](sim::DriveSpec drive) {
    drive.plugged = false;
    return drive;
  };
  auto quickCopy = [&At](std::uint64_t ms, unsigned hdd) {
    sim::TimelineEvent event = At(ms, 1, Kind::RebuildStarted, hdd);
    event.speed = 1953525168ull * 2;  // done within half a second
    return event;
  };
  const Case cases[] = {
      {"a member already gone at the start", {withoutHdd2()}, {}, {}, {"member-removed 2", "alarm 2"}},
      {"a blink within one cycle",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::MemberRemoved, 2), At(30800, 1, Kind::MemberInserted, 2)},
       {},
       {"member-removed 2", "alarm 2", "member-inserted 2"}},
      {"a blink whose copy starts within the cycle",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::MemberRemoved, 2), At(30500, 1, Kind::MemberInserted, 2),
        At(30700, 1, Kind::RebuildStarted, 2)},
       {},
       {"member-removed 2", "alarm 2", "member-inserted 2"}},
      {"a copy that begins and ends between two looks",
       {EnclosureDrive(1)},
       {At(20000, 1, Kind::MemberRemoved, 2), At(26000, 1, Kind::MemberInserted, 2), quickCopy(34000, 2)},
       {},
       {"member-removed 2", "alarm 2", "member-inserted 2", "rebuild-done 2"}},
      {"a member failing in its bay",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::MemberFailed, 2)},
       {},
       {"member-failed 2", "alarm 2"}},
      {"the source of a running rebuild pulled",
       {rebuilding()},
       {At(30000, 1, Kind::MemberRemoved, 1)},
       {},
       {"member-removed 1", "alarm 1"}},
      {"a pull across midnight",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::MemberRemoved, 2)},
       LocalDateTime{2026, 3, 14, 23, 59, 28},
       {"member-removed 2", "alarm 2"}},
      {"a pull while another enclosure leaves",
       {EnclosureDrive(1), EnclosureDrive(2)},
       {At(30000, 2, Kind::Unplugged), At(30000, 1, Kind::MemberRemoved, 2)},
       {},
       {"member-removed 2", "alarm 2", "device-removed 0", "alarm 0"}},
      {"three enclosures, a change on each",
       {EnclosureDrive(1), EnclosureDrive(2), EnclosureDrive(3)},
       {At(30000, 3, Kind::Unplugged), At(30000, 1, Kind::MemberRemoved, 2), At(30000, 2, Kind::MemberFailed, 1)},
       {},
       {"member-removed 2", "alarm 2", "member-failed 1", "alarm 1", "device-removed 0", "alarm 0"}},
      {"an enclosure unplugged for two seconds",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::Unplugged), At(32000, 1, Kind::Plugged)},
       {},
       {"device-removed 0", "alarm 0", "device-found 0"}},
      {"a member pulled while its enclosure was unplugged",
       {EnclosureDrive(1)},
       {At(30000, 1, Kind::Unplugged), At(31000, 1, Kind::MemberRemoved, 2), At(33000, 1, Kind::Plugged)},
       {},
       {"device-removed 0", "alarm 0", "device-found 0", "member-removed 2", "alarm 2"},
       44000},
      {"a member pulled while its enclosure was away for fifteen seconds",
       {EnclosureDrive(1)},
       {At(25000, 1, Kind::Unplugged), At(26000, 1, Kind::MemberRemoved, 2), At(40000, 1, Kind::Plugged)},
       {},
       {"device-removed 0", "alarm 0", "device-found 0", "member-removed 2", "alarm 2"},
       51000},
      {"one enclosure swapped for another",
       {EnclosureDrive(1), unplugged(EnclosureDrive(2))},
       {At(30000, 1, Kind::Unplugged), At(31000, 2, Kind::Plugged)},
       {},
       {"device-removed 0", "alarm 0", "device-found 0"}},
      {"two out and one in",
       {EnclosureDrive(1), EnclosureDrive(2), unplugged(EnclosureDrive(3))},
       {At(30000, 1, Kind::Unplugged), At(30000, 2, Kind::Unplugged), At(31000, 3, Kind::Plugged)},
       {},
       {"device-removed 0", "alarm 0", "device-removed 0", "alarm 0", "device-found 0"}},
      {"a pull beside a flapping enclosure",
       {EnclosureDrive(1), EnclosureDrive(2)},
       {At(27000, 2, Kind::Unplugged), At(28500, 2, Kind::Plugged), At(30000, 1, Kind::MemberRemoved, 2),
        At(31000, 2, Kind::Unplugged), At(32500, 2, Kind::Plugged)},
       {},
       {"member-removed 2", "alarm 2", "device-removed 0", "alarm 0", "device-found 0"}},
  };
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("rur-watch-" + std::to_string(getpid()))).string();
  for (const Case& c : cases) {
    for (const std::uint64_t phase : {0, 1000, 2000, 3300, 4700}) {
      // Each run starts with no memory of the bays, but the first case's third phase runs on the
      // memory its second left: a restart with nothing changed raises nothing.
      const bool restart = c.timeline.empty() && phase == 2000;
      if (!restart) std::filesystem::remove_all(folder);
      std::filesystem::create_directories(folder);
      sim::Scenario scenario = ScenarioOf(c.drives);
      if (c.start) scenario.start = c.start;
      for (sim::TimelineEvent event : c.timeline) {
        event.atMs += phase;
        scenario.timeline.push_back(event);
      }
      EngineRun run(std::move(scenario), false);
      std::map<std::string, std::string> files;
      EventLogWriter log("/logs");
      log.setFileFunctions(
          [&files](const std::string& path, const std::string& text, std::string&) { return files[path] = text, true; },
          [&files](const std::string& path, std::string& text) {
            if (!files.count(path)) return FileReadStatus::Missing;
            text = files[path];
            return FileReadStatus::Ok;
          });
      run.engine.AttachEventLog(&log);
      std::vector<std::string> seen;
      std::uint64_t firstAlarmMs = 0;
      run.engine.AddEventListener([&](const LogEvent& event) {
        const std::string_view name = LogEventName(event.tag.kind);
        if (name != "member-removed" && name != "member-inserted" && name != "member-failed" && name != "alarm" &&
            name != "device-removed" && name != "device-found" && name != "rebuild-done")
          return;
        if (name == "alarm" && event.tag.bay != 0 && firstAlarmMs == 0) firstAlarmMs = run.clock.nowMs();
        seen.push_back(std::string(name) + " " + std::to_string(event.tag.bay));
      });
      run.engine.UseDataFolder(folder);
      run.engine.Start();
      run.engine.RunFor(60000 + phase);
      std::vector<std::string> expected = restart ? std::vector<std::string>{} : c.expected;
      std::sort(seen.begin(), seen.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(seen, expected) << c.name << " at phase " << phase << " ms";
      if (!c.timeline.empty()) {
        EXPECT_LE(firstAlarmMs, c.memberAlarmByMs + phase) << c.name << " at phase " << phase << " ms";
      }
    }
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace rur
