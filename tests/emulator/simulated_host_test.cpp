// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated host: the demo's timeline as the program's queries see it, plugging and
// unplugging, the request record and trace, refused requests, and state that outlives a run.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "emulator/emulator_test_support.h"
#include "transport/commands.h"
#include "transport/pass_through.h"

namespace rur {
namespace {

using test::BigEndian;
using test::SimulatedRig;

sim::Scenario Bundled(const std::string& name) {
  sim::Scenario scenario;
  std::string error;
  EXPECT_TRUE(sim::LoadScenarioFile(sim::BundledScenarioPath(name), scenario, error)) << error;
  return scenario;
}

struct TempDir {
  TempDir() {
    path = std::filesystem::temp_directory_path() /
           ("rur-sim-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::filesystem::path path;
  static inline int counter = 0;
};

TEST(SimulatedHost, DemoPullsReinsertsAndRebuildsHdd2) {
  SimulatedRig rig(Bundled("demo"));
  struct Moment {
    double at;
    std::uint8_t hdd2State;
    bool rebuilding;
  };
  // HDD2 sits on port 1, member block B at 160. Nobody calls Advance(): the queries see the events.
  const Moment moments[] = {{29, 0x00, false}, {31, 0x05, false}, {61, 0x06, false}, {66, 0x01, true},
                            {180, 0x01, true}, {289, 0x01, true}, {291, 0x00, false}};
  std::uint64_t lastPosition = 0;
  for (const Moment& m : moments) {
    rig.At(m.at);
    ASSERT_EQ(rig.channel.Query(1, QUERY_MEMBERS, rig.answer), kResultOk);
    EXPECT_EQ(rig.answer[160], m.hdd2State) << "at " << m.at << " s";
    EXPECT_EQ(rig.answer[84], 0x00) << "HDD1 at " << m.at << " s";
    ASSERT_EQ(rig.channel.Query(1, QUERY_REBUILD, rig.answer), kResultOk);
    EXPECT_EQ(rig.answer[84] == 2, m.rebuilding) << "at " << m.at << " s";
    const std::uint64_t size = BigEndian(&rig.answer[94], 6);
    const std::uint64_t position = BigEndian(&rig.answer[119], 5);
    EXPECT_EQ(size, 1953525168u);
    if (m.rebuilding) {
      EXPECT_GT(position, lastPosition) << "at " << m.at << " s";
      EXPECT_LT(position, size);
      lastPosition = position;
    }
  }
  EXPECT_EQ(rig.host.requests().size() > 0, true);
}

TEST(SimulatedHost, UnplugAndPlugTellTheListenerAndTakeTheDriveAway) {
  SimulatedRig rig(Bundled("two-enclosures"));
  int notices = 0;
  rig.host.setDeviceChangeListener([&notices](const DriveNotice&) { ++notices; });
  const auto volumeNames = [&rig] {
    std::string names;
    for (const auto& volume : rig.host.volumes()) names += volume.name + "@" + std::to_string(volume.driveNumber) + " ";
    return names;
  };
  EXPECT_EQ(volumeNames(), "sda1@0 sdb1@1 sdc1@2 ");
  DeviceHandle held = OpenDrive(rig.host, 2);
  ASSERT_TRUE(held);

  rig.At(41);
  rig.host.Advance();
  EXPECT_EQ(notices, 1);
  EXPECT_FALSE(OpenDrive(rig.host, 2));
  EXPECT_EQ(volumeNames(), "sda1@0 sdb1@1 ");
  Sector sector{};
  EXPECT_FALSE(ReadSectors(*held, 0, sector.data(), 1));  // a handle on a vanished disk fails
  EXPECT_EQ(rig.channel.Query(2, QUERY_PROBE, rig.answer), kResultOpenFailed);

  rig.At(81);
  EXPECT_EQ(rig.channel.Query(2, QUERY_MEMBERS, rig.answer), kResultOk);  // applied on the way in
  EXPECT_EQ(notices, 2);
  rig.host.Advance();
  EXPECT_EQ(notices, 2);  // each event once
}

TEST(SimulatedHost, RecordsTracesAndRefusesAnythingButReadsAndInquiries) {
  TempDir dir;
  std::filesystem::create_directories(dir.path);
  const std::string tracePath = (dir.path / "trace.txt").string();
  SimulatedRig rig(Bundled("demo"));
  ASSERT_TRUE(rig.host.setTraceFile(tracePath));

  ASSERT_EQ(rig.channel.Query(1, QUERY_PROBE, rig.answer), kResultOk);
  DeviceHandle device = OpenDrive(rig.host, 1);
  std::uint8_t inquiry[36];
  ASSERT_TRUE(InquiryDevice(*device, inquiry));
  EXPECT_EQ(std::string(inquiry + 8, inquiry + 12), "RODE");
  ASSERT_EQ(rig.host.requests().size(), 16u + 2u + 1u);
  for (const auto& request : rig.host.requests()) {
    EXPECT_EQ(request.drive, 1u);
    EXPECT_TRUE(request.inquiry ? request.cdb[0] == kOpInquiry : request.cdb[0] == kOpRead10);
  }
  EXPECT_EQ(rig.host.refusedRequests(), 0u);

  // A WRITE(10), or a read whose length does not match its buffer, never reaches the disk.
  Sector data{};
  ScsiRequest write = MakeRead10Request(0, data.data(), 1);
  write.cdb[0] = 0x2A;
  EXPECT_FALSE(device->Execute(write));
  ScsiRequest oversized = MakeRead10Request(0, data.data(), 1);
  oversized.cdb[8] = 2;
  EXPECT_FALSE(device->Execute(oversized));
  EXPECT_EQ(rig.host.refusedRequests(), 2u);

  std::ifstream trace(tracePath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(trace, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 16u + 2u + 1u + 2u);
  EXPECT_EQ(lines[0], "1 READ 67");
  EXPECT_EQ(lines[15], "1 READ 1070");
  EXPECT_EQ(lines[16], "1 READ 24575");
  EXPECT_EQ(lines[17], "1 READ 17");
  EXPECT_EQ(lines[18], "1 INQUIRY");
  EXPECT_EQ(lines[19], "1 REFUSED 2A");
}

TEST(SimulatedHost, EnclosureStateOutlivesTheProgram) {
  TempDir dir;
  const std::string stateDir = dir.path.string();
  std::uint64_t savedPosition = 0;
  {
    SimulatedRig rig(Bundled("demo"));
    std::string error;
    ASSERT_TRUE(rig.host.loadState(stateDir, error)) << error;  // nothing saved yet: fresh devices
    sim::SimulatedController& controller = *rig.host.controller(1);
    // A firmware upgrade through the controller's own commands: a new version field in block 0x80.
    DeviceHandle device = OpenDrive(rig.host, 1);
    std::uint8_t block[128];
    ASSERT_EQ(rig.channel.SpiRead(*device, 0x80, block), kResultOk);
    block[0x9C - 0x80] = 0x16;
    ASSERT_EQ(rig.channel.SpiErase(*device, 0), kResultOk);
    ASSERT_EQ(rig.channel.SpiWrite(*device, 0x80, block), kResultOk);
    device.reset();
    controller.startRebuild(controller.portOf(2), 1000000);
    controller.setTemperature(51);
    rig.At(10);
    savedPosition = controller.rebuild().position;
    ASSERT_TRUE(rig.host.saveState(stateDir, error)) << error;
  }
  SimulatedRig rig(Bundled("demo"));
  std::string error;
  ASSERT_TRUE(rig.host.loadState(stateDir, error)) << error;
  ASSERT_EQ(rig.channel.Query(1, QUERY_IDENTITY, rig.answer), kResultOk);
  EXPECT_EQ(BigEndian(&rig.answer[88], 4), 0x16031510u);
  EXPECT_EQ(rig.answer[127], 51);
  ASSERT_EQ(rig.channel.Query(1, QUERY_MEMBERS, rig.answer), kResultOk);
  EXPECT_EQ(rig.answer[160], 0x01);
  ASSERT_EQ(rig.channel.Query(1, QUERY_REBUILD, rig.answer), kResultOk);
  EXPECT_EQ(rig.answer[84], 2);
  EXPECT_GE(BigEndian(&rig.answer[119], 5), savedPosition);
  SimulatedRig fresh(Bundled("demo"));
  const sim::SpiFlash& flash = rig.host.controller(1)->flash();
  EXPECT_EQ(flash.at(0x1000), fresh.host.controller(1)->flash().at(0x1000));  // the rest of the image
  EXPECT_EQ(flash.at(0x00), 0xFF);                                            // erased, never rewritten
  EXPECT_EQ(flash.at(0x10000), 0xFF);                                         // beyond the image

  // A damaged state file stops the start and says which file.
  std::ofstream(dir.path / "state.json") << "{\"format\": 1, \"drives\": {\"1\": {\"fan\": -3}}}";
  SimulatedRig again(Bundled("demo"));
  EXPECT_FALSE(again.host.loadState(stateDir, error));
  EXPECT_NE(error.find("state.json"), std::string::npos) << error;
  EXPECT_NE(error.find("drives.1.fan"), std::string::npos) << error;
}

}  // namespace
}  // namespace rur

namespace rur {
namespace {

// Two programs on one state folder share the enclosure as two processes share a disk: one command
// sequence at a time through the drive's lock file, a flash written by one is what the other
// reads next, and a program that only looked never writes its older flash back.
TEST(SimulatedHost, ProgramsSharingAStateFolderTakeTurnsOnTheController) {
  TempDir dir;
  const std::string stateDir = dir.path.string();
  SimulatedRig first(Bundled("demo"));
  SimulatedRig second(Bundled("demo"));
  std::string error;
  for (SimulatedRig* rig : {&first, &second}) {
    ASSERT_TRUE(rig->host.loadState(stateDir, error)) << error;
    rig->host.ShareStateFolder(stateDir);
  }

  {
    HoldAttempt held = first.host.HoldController(1, 0);
    ASSERT_EQ(held.outcome, HoldAttempt::Outcome::Held) << held.error;
    // The other program waits about a second, then gives up without sending a single read.
    second.host.clearRequests();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(second.channel.Query(1, QUERY_IDENTITY, second.answer), kResultControllerBusy);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    EXPECT_TRUE(second.host.requests().empty());
    EXPECT_NE(second.channel.record().busyHolder.find("(process " + std::to_string(::getpid()) + ")"),
              std::string::npos)
        << second.channel.record().busyHolder;

    // The holder's own commands nest inside its hold: a new version field in block 0x80.
    DeviceHandle device = OpenDrive(first.host, 1);
    std::uint8_t block[128];
    ASSERT_EQ(first.channel.SpiRead(*device, 0x80, block), kResultOk);
    block[0x9C - 0x80] = 0x16;
    ASSERT_EQ(first.channel.SpiErase(*device, 0), kResultOk);
    ASSERT_EQ(first.channel.SpiWrite(*device, 0x80, block), kResultOk);
    ASSERT_EQ(first.channel.Query(1, QUERY_PROBE, first.answer), kResultOk);
  }
  // Let go: the changed flash is saved, and the other program reads it with its next command.
  ASSERT_TRUE(std::filesystem::exists(dir.path / "drive1.flash"));
  ASSERT_EQ(second.channel.Query(1, QUERY_IDENTITY, second.answer), kResultOk);
  EXPECT_EQ(BigEndian(&second.answer[88], 4), 0x16031510u);

  // A program that changed nothing of the flash leaves the saved flash alone at its end.
  SimulatedRig watcher(Bundled("demo"));
  ASSERT_TRUE(watcher.host.loadState(stateDir, error)) << error;
  watcher.host.ShareStateFolder(stateDir);
  {
    HoldAttempt held = first.host.HoldController(1, 0);
    DeviceHandle device = OpenDrive(first.host, 1);
    ASSERT_EQ(first.channel.SpiErase(*device, 0), kResultOk);
  }
  watcher.At(10);
  ASSERT_TRUE(watcher.host.saveState(stateDir, error)) << error;
  SimulatedRig after(Bundled("demo"));
  ASSERT_TRUE(after.host.loadState(stateDir, error)) << error;
  EXPECT_EQ(after.host.controller(1)->flash().at(0x9C), 0xFF);  // the erase stands
}

// Two threads of one program (a detection probing drives while a flash backup reads one) must not
// mix their commands on a controller: the hold nests within a thread only, another thread waits
// as another program would. With a shared state folder (a lock file per drive) and without one.
TEST(SimulatedHost, ThreadsOfOneProgramTakeTurnsOnTheController) {
  TempDir dir;
  for (const bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared state folder" : "no state folder");
    SimulatedRig rig(Bundled("demo"));
    if (shared) {
      std::string error;
      ASSERT_TRUE(rig.host.loadState(dir.path.string(), error)) << error;
      rig.host.ShareStateFolder(dir.path.string());
    }
    HoldAttempt held = rig.host.HoldController(1, 0);
    ASSERT_EQ(held.outcome, HoldAttempt::Outcome::Held) << held.error;
    HoldAttempt nested = rig.host.HoldController(1, 0);
    EXPECT_EQ(nested.outcome, HoldAttempt::Outcome::Held);
    HoldAttempt elsewhere;
    std::thread([&] { elsewhere = rig.host.HoldController(1, 50); }).join();
    EXPECT_EQ(elsewhere.outcome, HoldAttempt::Outcome::Busy);
    // Another drive is free to the other thread meanwhile.
    std::thread([&] { elsewhere = rig.host.HoldController(2, 0); }).join();
    EXPECT_EQ(elsewhere.outcome, HoldAttempt::Outcome::Held);
    elsewhere = HoldAttempt{};
    nested = HoldAttempt{};
    held = HoldAttempt{};
    std::thread([&] { elsewhere = rig.host.HoldController(1, 0); }).join();
    EXPECT_EQ(elsewhere.outcome, HoldAttempt::Outcome::Held);
  }
}

}  // namespace
}  // namespace rur
