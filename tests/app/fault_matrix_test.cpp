// SPDX-License-Identifier: GPL-3.0-or-later
// The fault matrix on the simulated enclosure: every controller command against every way the
// enclosure can fail it. First the result code that each command gives for each fault; then,
// through the engine, what the retrying callers make of it (nine attempts a flash block, four a
// SMART command, six failed refreshes before a device is unticked), including a drive pulled in
// the middle of any activity: nothing crashes, the texts are the usual ones, every mark is cleared
// and the poll cycle runs again afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "app/engine.h"
#include "cli/status_report.h"
#include "emulator/simulated_host.h"
#include "firmware/firmware_test_support.h"
#include "monitor/event_log.h"
#include "monitor/query_answers.h"
#include "support/engine_test_access.h"
#include "support/simulated_engine.h"
#include "transport/command_frame.h"
#include "transport/commands.h"
#include "transport/pass_through.h"

namespace rur {
namespace {

constexpr unsigned kDrive = 1;

// The ways a command can fail.
enum class Failure {
  Status,         // the controller answers C0h
  UnknownStatus,  // a status byte outside the known set
  LateWithin,     // the answer shows late, but within the poll limit
  LateBeyond,     // the answer shows only after the poll limit
  WrongSignature,
  MixedSignature,
  AnswerReadFails,  // reads of LBA 17 fail at the transport
  FrameReadFails,   // the first read of every frame fails at the transport
  Unplugged,        // the enclosure is gone
};

constexpr Failure kEveryFailure[] = {Failure::Status,          Failure::UnknownStatus,  Failure::LateWithin,
                                     Failure::LateBeyond,      Failure::WrongSignature, Failure::MixedSignature,
                                     Failure::AnswerReadFails, Failure::FrameReadFails, Failure::Unplugged};

const char* Name(Failure failure) {
  switch (failure) {
    case Failure::Status: return "status C0";
    case Failure::UnknownStatus: return "status 33";
    case Failure::LateWithin: return "late within the limit";
    case Failure::LateBeyond: return "late beyond the limit";
    case Failure::WrongSignature: return "wrong signature";
    case Failure::MixedSignature: return "mixed signatures";
    case Failure::AnswerReadFails: return "LBA 17 read fails";
    case Failure::FrameReadFails: return "frame read fails";
    case Failure::Unplugged: return "unplugged";
  }
  return "?";
}

struct CommandUnderTest {
  const char* name;
  sim::FaultCommand command;
  std::uint8_t code;       // query code, or ATA code
  unsigned pollsWithin;    // an answer this many polls late still arrives in time
  unsigned pollsBeyond;    // this late it no longer does
  bool opensItsOwnHandle;  // queries and ATA commands open the drive; SPI commands use the caller's
};

// Poll limits: 1000 ms gives up after 2 s of 10 ms polls, 3000 ms after 4 s, 3 polls after the 4th.
constexpr CommandUnderTest kCommands[] = {
    {"probe", sim::FaultCommand::Query, QUERY_PROBE, 150, 1000, true},
    {"identity", sim::FaultCommand::Query, QUERY_IDENTITY, 350, 1000, true},
    {"rebuild", sim::FaultCommand::Query, QUERY_REBUILD, 350, 1000, true},
    {"members", sim::FaultCommand::Query, QUERY_MEMBERS, 350, 1000, true},
    {"SPI read", sim::FaultCommand::SpiRead, 0, 350, 1000, false},
    {"SPI erase", sim::FaultCommand::SpiErase, 0, 350, 1000, false},
    {"SPI write", sim::FaultCommand::SpiWrite, 0, 350, 1000, false},
    {"ATA issue", sim::FaultCommand::AtaIssue, SMART_READ_DATA, 3, 4, true},
    {"ATA fetch", sim::FaultCommand::AtaFetch, SMART_READ_DATA, 3, 4, true},
};

// The simulator's fault for a failure of a command, striking `times` times (0: every time).
std::optional<sim::Fault> FaultFor(Failure failure, const CommandUnderTest& command, unsigned times,
                                   std::uint64_t fromMs) {
  sim::Fault fault;
  fault.drive = kDrive;
  fault.command = command.command;
  if (command.code != 0) fault.code = command.code;
  fault.times = times;
  fault.fromMs = fromMs;
  switch (failure) {
    case Failure::Status:
      fault.kind = sim::FaultKind::Status;
      fault.status = 0xC0;
      break;
    case Failure::UnknownStatus:
      fault.kind = sim::FaultKind::Status;
      fault.status = 0x33;
      break;
    case Failure::LateWithin:
      fault.kind = sim::FaultKind::LateAnswer;
      fault.polls = command.pollsWithin;
      break;
    case Failure::LateBeyond:
      fault.kind = sim::FaultKind::LateAnswer;
      fault.polls = command.pollsBeyond;
      break;
    case Failure::WrongSignature: fault.kind = sim::FaultKind::WrongSignature; break;
    case Failure::MixedSignature: fault.kind = sim::FaultKind::MixedSignature; break;
    case Failure::AnswerReadFails:
      fault.kind = sim::FaultKind::TransportFailure;
      fault.lba = kResponseLba;
      break;
    case Failure::FrameReadFails:
      fault.kind = sim::FaultKind::TransportFailure;
      fault.lba = kFrameWords[0];
      break;
    case Failure::Unplugged: return std::nullopt;
  }
  return fault;
}

ResultCode ExpectedResult(Failure failure, const CommandUnderTest& command) {
  switch (failure) {
    case Failure::Status: return 0xC0;
    case Failure::UnknownStatus: return kResultUnknownStatus;
    case Failure::LateWithin: return kResultOk;
    case Failure::LateBeyond:
    case Failure::WrongSignature:
    case Failure::MixedSignature: return kResultNoAnswer;
    case Failure::AnswerReadFails: return kResultResponseReadFailed;
    case Failure::FrameReadFails: return kResultSequenceReadFailed;
    case Failure::Unplugged: return command.opensItsOwnHandle ? kResultOpenFailed : kResultSequenceReadFailed;
  }
  return kResultOk;
}

TEST(FaultMatrix, ResultCodeOfEveryCommandForEveryFault) {
  for (const CommandUnderTest& command : kCommands) {
    for (const Failure failure : kEveryFailure) {
      SCOPED_TRACE(std::string(command.name) + ", " + Name(failure));
      VirtualClock clock;
      sim::SimulatedHost host(test::ScenarioOf({test::EnclosureDrive(kDrive)}), clock);
      test::RecordingUi ui;
      ControllerChannel channel(host, clock, ui);
      Sector answer{};
      if (command.command == sim::FaultCommand::AtaFetch) {
        ASSERT_EQ(channel.AtaIssue(kDrive, command.code, 0, answer), kResultOk);
      }
      DeviceHandle handle = OpenDrive(host, kDrive);
      ASSERT_TRUE(handle);
      if (const auto fault = FaultFor(failure, command, 0, 0)) host.controller(kDrive)->addFault(*fault);
      if (failure == Failure::Unplugged) host.SetPlugged(kDrive, false);

      std::array<std::uint8_t, kSpiBlockSize> block{};
      ResultCode result = kResultOk;
      switch (command.command) {
        case sim::FaultCommand::Query: result = channel.Query(kDrive, command.code, answer); break;
        case sim::FaultCommand::SpiRead: result = channel.SpiRead(*handle, 0x1000, block.data()); break;
        case sim::FaultCommand::SpiErase: result = channel.SpiErase(*handle, 0x1000); break;
        case sim::FaultCommand::SpiWrite: result = channel.SpiWrite(*handle, 0x1000, block.data()); break;
        case sim::FaultCommand::AtaIssue: result = channel.AtaIssue(kDrive, command.code, 0, answer); break;
        case sim::FaultCommand::AtaFetch: result = channel.AtaFetch(kDrive, command.code, 0, 1, answer); break;
        case sim::FaultCommand::Any: break;
      }
      EXPECT_EQ(result, ExpectedResult(failure, command));
      EXPECT_EQ(host.refusedRequests(), 0u);
    }
  }
}

// The engine on the virtual clock over one simulated enclosure.
struct Watched : test::SimulatedEngine<> {
  explicit Watched(sim::Scenario scenario = test::ScenarioOf({test::EnclosureDrive(kDrive)}))
      : SimulatedEngine(std::move(scenario)) {}

  // Detected, armed, and the status page drawn once, as after a few seconds of a real run.
  void Settle() {
    ASSERT_TRUE(engine.RunUntilDetected(20000));
    ASSERT_EQ(engine.deviceCount(), 1u);
    engine.RunFor(12000);
    ASSERT_FALSE(engine.programStarted());
  }

  std::size_t Frames(std::uint8_t opcode) const { return SimulatedEngine::Frames(kDrive, opcode); }

  // No mark is left behind, and the poll cycle refreshes the device again.
  void ExpectIdleAndRefreshing() {
    EXPECT_EQ(EngineTestAccess::Marks(engine).UpgradeTarget.load(), kNoDevice);
    EXPECT_FALSE(EngineTestAccess::Marks(engine).OperationBusy.load());
    EXPECT_EQ(engine.requests().busy(), 0);
    EXPECT_FALSE(engine.refreshInProgress());
    EXPECT_FALSE(engine.firmware().panelShown());
    EXPECT_FALSE(engine.firmware().progressShown());
    if (!ui.selectorStates.empty()) {
      EXPECT_TRUE(ui.selectorStates.back());
    }
    ui.onPump = nullptr;
    engine.SetDeviceChecked(0, true);
    const std::size_t members = Frames(QUERY_MEMBERS);
    const unsigned refreshes = engine.refreshCount();
    engine.RunFor(12000);
    EXPECT_GT(engine.refreshCount(), refreshes);
    EXPECT_GT(Frames(QUERY_MEMBERS), members);
    EXPECT_EQ(engine.devices().currentInfo[0].failureCounter, 0u);
    EXPECT_EQ(host.refusedRequests(), 0u);
  }

  // Applies a failure from now on; an unplug happens at once.
  void Strike(Failure failure, const CommandUnderTest& command, unsigned times) {
    if (failure == Failure::Unplugged) {
      host.SetPlugged(kDrive, false);
      return;
    }
    host.controller(kDrive)->addFault(*FaultFor(failure, command, times, host.programTimeMs()));
  }

  // After an unplug: the device disappears at the next detection and comes back when plugged in.
  void ReplugAndRediscover() {
    ui.onPump = nullptr;
    engine.RunFor(12000);
    EXPECT_EQ(engine.deviceCount(), 0u);
    EXPECT_EQ(ui.notice.text, "No Drive found! ");
    host.SetPlugged(kDrive, true);
    engine.RunFor(12000);
    ASSERT_EQ(engine.deviceCount(), 1u);
  }
};

TEST(FaultMatrix, RefreshCountsEveryQueryFaultAndRecovers) {
  const CommandUnderTest& members = kCommands[3];
  for (const Failure failure : kEveryFailure) {
    if (failure == Failure::LateWithin || failure == Failure::Unplugged) continue;  // below and in the unplug test
    for (const unsigned times : {5u, 0u}) {
      SCOPED_TRACE(std::string(Name(failure)) + (times ? ", five times" : ", every time"));
      Watched run;
      run.Settle();
      run.Strike(failure, members, times);
      // Five failures stay below the limit; the sixth in a row marks the device not answering.
      for (int cycle = 0; cycle < 30 && !run.engine.watch(0)->notAnswering(); ++cycle) run.engine.RunFor(5000);
      EXPECT_EQ(run.engine.watch(0)->notAnswering(), times == 0);
      EXPECT_TRUE(run.engine.deviceChecked(0));
      EXPECT_EQ(run.engine.devices().currentInfo[0].failureCounter, 0u);
      run.host.controller(kDrive)->clearFaults();
      run.ExpectIdleAndRefreshing();
    }
  }
}

TEST(FaultMatrix, UpgradeRetriesEveryFlashBlockNineTimes) {
  struct Phase {
    const CommandUnderTest& command;
    const char* startText;  // status panel text when the phase begins (empty: at the click)
    const char* operation;
    UpgradeOutcome failed;
  };
  const Phase phases[] = {
      {kCommands[5], "", "EraseSPI", UpgradeOutcome::EraseFailed},
      {kCommands[6], "SPI Erase OK", "WriteSPI", UpgradeOutcome::ProgramFailed},
      {kCommands[4], "SPI Program OK", "ReadSPI", UpgradeOutcome::ReadBackFailed},
  };
  for (const Phase& phase : phases) {
    for (const Failure failure : kEveryFailure) {
      // A fault that strikes eight times stays below the nine attempts of a block; every other
      // failure (late within the limit is no failure at all) strikes every attempt.
      const bool survivable = failure == Failure::LateWithin || failure == Failure::Status;
      const unsigned times = failure == Failure::Status ? 8 : 0;
      for (const unsigned strikes :
           survivable&& failure == Failure::Status ? std::vector<unsigned>{8, 9} : std::vector<unsigned>{times}) {
        SCOPED_TRACE(std::string(phase.operation) + ", " + Name(failure) + ", " + std::to_string(strikes));
        Watched run;
        run.Settle();
        const auto image = test::MakeImage({.length = 4096, .firmwareType = 0x01});
        test::HoldImage(EngineTestAccess::Firmware(run.engine).image(), image);
        bool struck = false;
        run.ui.onPump = [&] {
          run.clock.advanceMs(1);
          run.engine.Step();
          if (!struck && run.engine.spiFlash().statusText().find(phase.startText) == 0 &&
              (phase.startText[0] != '\0' || run.engine.UpgradeRunning())) {
            struck = true;
            run.Strike(failure, phase.command, strikes);
          }
        };
        const UpgradeOutcome outcome = run.engine.RunUpgrade();
        EXPECT_TRUE(struck);
        const bool survives = failure == Failure::LateWithin || (failure == Failure::Status && strikes < 9);
        if (survives) {
          EXPECT_EQ(outcome, UpgradeOutcome::Succeeded);
          EXPECT_EQ(run.ui.boxes.back().caption, "Firmware Upgrade Message");
          if (failure == Failure::Status) {
            EXPECT_EQ(run.ui.panels[4], "SPI Verify OK");
          }
        } else {
          EXPECT_EQ(outcome, phase.failed);
          // The final box repeats the status panel: the phase's failure, or the block's last text.
          const std::string& finalText = run.ui.boxes.back().text;
          EXPECT_EQ(run.ui.boxes.back().caption, "Message");
          if (phase.failed == UpgradeOutcome::ReadBackFailed) {
            EXPECT_EQ(finalText.rfind("ReadSPI fail, Address = ", 0), 0u) << finalText;
          } else {
            EXPECT_EQ(finalText, phase.failed == UpgradeOutcome::EraseFailed ? "SPI Erase Fail." : "SPI Program Fail.");
          }
        }
        if (failure == Failure::Unplugged) {
          EXPECT_EQ(EngineTestAccess::Marks(run.engine).UpgradeTarget.load(), kNoDevice);
          EXPECT_FALSE(run.engine.UpgradeRunning());
          run.ReplugAndRediscover();
        }
        run.host.controller(kDrive)->clearFaults();
        run.ExpectIdleAndRefreshing();
      }
    }
  }
}

TEST(FaultMatrix, SmartPassGivesUpAfterFourAttempts) {
  for (const CommandUnderTest& command : {kCommands[7], kCommands[8]}) {
    for (const Failure failure : kEveryFailure) {
      std::vector<unsigned> series{0};
      if (failure == Failure::Status) series = {3, 4};
      for (const unsigned times : series) {
        SCOPED_TRACE(std::string(command.name) + ", " + Name(failure) + ", " + std::to_string(times));
        Watched run;
        run.Settle();
        ASSERT_TRUE(run.engine.smart().state().thresholdsValid);
        const SmartPage before = run.engine.smart().state().store[0][0].thresholds;
        // Thresholds found incomplete are read again with the next data request: make it now.
        EngineTestAccess::Smart(run.engine).ForgetThresholds();
        EngineTestAccess::Smart(run.engine).ExpireCountdown();
        const CommandUnderTest aimed{command.name,        command.command,     SMART_READ_THRESHOLDS,
                                     command.pollsWithin, command.pollsBeyond, true};
        bool struck = false;
        run.ui.onPump = [&] {
          if (!struck && (run.engine.requests().busy() & REQ_SMART_THRESHOLDS)) {
            struck = true;
            run.Strike(failure, aimed, times);
          }
        };
        run.engine.RunFor(4000);
        EXPECT_TRUE(struck);
        EXPECT_EQ(run.engine.requests().flags() & (REQ_SMART_DATA | REQ_SMART_THRESHOLDS), 0);
        const bool survives = failure == Failure::LateWithin || (failure == Failure::Status && times < 4);
        EXPECT_EQ(run.engine.smart().state().thresholdsValid, survives);
        // A page, or a chunk, that could not be read keeps what it held.
        EXPECT_EQ(run.engine.smart().state().store[0][0].thresholds, before);
        if (failure == Failure::Unplugged) run.ReplugAndRediscover();
        run.host.controller(kDrive)->clearFaults();
        run.ExpectIdleAndRefreshing();
      }
    }
  }
}

TEST(FaultMatrix, UnplugInTheMiddleOfDetectionRefreshOrSmartPass) {
  enum class Moment { Detection, Refresh, SmartPass };
  for (const Moment moment : {Moment::Detection, Moment::Refresh, Moment::SmartPass}) {
    SCOPED_TRACE(static_cast<int>(moment));
    Watched run;
    bool pulled = false;
    int pumpsSeen = 0;
    run.ui.onPump = [&] {
      const bool inside = moment == Moment::Detection ? run.engine.detection().running()
                          : moment == Moment::Refresh ? run.engine.refreshInProgress() && !run.engine.programStarted()
                                                      : (run.engine.requests().busy() & REQ_SMART_DATA) != 0;
      // A few reads into the activity, so a command is cut in the middle of its frame or its polls.
      if (!pulled && inside && ++pumpsSeen == 23) {
        pulled = true;
        run.host.SetPlugged(kDrive, false);
      }
    };
    if (moment == Moment::Detection) {
      run.engine.RunUntilDetected(20000);
      EXPECT_TRUE(pulled);
      run.engine.RunFor(12000);
      EXPECT_EQ(run.engine.deviceCount(), 0u);
      run.host.SetPlugged(kDrive, true);
      run.ui.onPump = nullptr;
      run.engine.RunFor(12000);
      ASSERT_EQ(run.engine.deviceCount(), 1u);
    } else {
      run.Settle();
      if (moment == Moment::SmartPass) EngineTestAccess::Smart(run.engine).ExpireCountdown();
      run.engine.RunFor(6000);
      EXPECT_TRUE(pulled);
      run.ReplugAndRediscover();
    }
    run.engine.RunFor(6000);  // armed again after the new detection
    run.ExpectIdleAndRefreshing();
  }
}

// Passes every answer of the simulated enclosure through a change, as a misbehaving controller
// would send it.
class PatchedDrives final : public DriveSource {
 public:
  PatchedDrives(DriveSource& inner, std::function<void(Sector&)> patch) : inner_(inner), patch_(std::move(patch)) {}
  DeviceHandle OpenPhysicalDrive(unsigned number) override {
    DeviceHandle device = inner_.OpenPhysicalDrive(number);
    if (!device) return device;
    return std::make_unique<Patched>(std::move(device), patch_);
  }

 private:
  struct Patched final : ScsiDevice {
    Patched(DeviceHandle device, std::function<void(Sector&)>& patch) : device(std::move(device)), patch(patch) {}
    bool Execute(const ScsiRequest& request) override {
      if (!device->Execute(request)) return false;
      const bool answerRead = request.cdb[0] == kOpRead10 && request.cdb[5] == kResponseLba && request.cdb[4] == 0 &&
                              request.cdb[3] == 0 && request.cdb[2] == 0 && request.transferLength == kSectorSize;
      if (answerRead) {
        Sector sector;
        std::copy_n(request.buffer, kSectorSize, sector.begin());
        patch(sector);
        std::copy(sector.begin(), sector.end(), request.buffer);
      }
      return true;
    }
    DeviceHandle device;
    std::function<void(Sector&)>& patch;
  };
  DriveSource& inner_;
  std::function<void(Sector&)> patch_;
};

TEST(FaultMatrix, RebuildOfSizeZeroAndNamesFullOfControlBytes) {
  sim::Scenario scenario = test::ScenarioOf({test::EnclosureDrive(kDrive)});
  sim::EnclosureSpec& enclosure = scenario.drives[0].enclosure;
  enclosure.productName = "RODE\r\nD1 HDD1 was removed, 05\x1b[2J";
  enclosure.members[0].disk.model = "WDC\r\nD1 HDD2 was removed, 05 2026/3/14\x07\x1b]0;x\x07";
  enclosure.members[0].disk.serial = "\n\r\t\x01\x02\x7f\xff\x80\x9b";
  enclosure.members[1].state = sim::kMemberRebuilding;
  enclosure.rebuild = sim::RebuildSpec{2, 1000, 0, 1};  // crawls along: still running when asked

  VirtualClock clock(*scenario.start);
  sim::SimulatedHost host(scenario, clock);
  // The controller reports the rebuild with an array size of 0.
  PatchedDrives drives(host, [](Sector& answer) {
    if (answer[rebuild_answer::kRunning] == rebuild_answer::kRunningValue)
      std::fill_n(answer.begin() + rebuild_answer::kSize, 6, std::uint8_t{0});
  });
  test::RecordingUi ui;
  Engine engine(
      drives,
      [] {
        return std::vector<MountedVolume>{{"sdb1", kDrive, 0, 0}};
      },
      clock, ui);
  engine.SetStepHook([&host] { host.Advance(); });
  EventLogWriter log("/nonexistent");
  std::string saved;
  log.setFileFunctions(
      [&saved](const std::string&, const std::string& contents, std::string&) {
        saved = contents;
        return true;
      },
      [&saved](const std::string&, std::string& contents) {
        contents = saved;
        return saved.empty() ? FileReadStatus::Missing : FileReadStatus::Ok;
      });
  engine.AttachEventLog(&log);
  engine.Start();
  ASSERT_TRUE(engine.RunUntilDetected(20000));
  engine.RunFor(30000);

  const StatusRecord& record = engine.record(kDrive);
  EXPECT_EQ(record[status_offset::kActivityFlags], kHdd2Rebuilding);
  EXPECT_EQ(record[status_offset::kActivityProgress], 0);
  EXPECT_EQ(ReadLe(record.data() + status_offset::kArrayCapacity, 6), 0u);

  // Every line of the day's file is a line the writer made: no forged lines, no terminal escapes.
  const std::vector<std::string> lines = SplitLogLines(saved);
  EXPECT_EQ(lines, log.lines());
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.rfind("D1 HDD1 --> HDD2 0%, ", 0) == 0; }));
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find_first_of("\r\n\x1b\x07"), std::string::npos) << line;
    EXPECT_NE(line.rfind("D1 HDD2 was removed", 0), 0u) << line;
  }
  const std::vector<DeviceStatus> status = CollectStatus(engine);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].members[0].model, "WDC??D1 HDD2 was removed, 05 2026/3/14??");
  EXPECT_EQ(status[0].members[0].serial, "?????????           ");
  EXPECT_EQ(status[0].product, "RODE??D1 HDD1 was removed, 05?[2J");
  EXPECT_NO_THROW(StatusJson(status).dump());
  EXPECT_NE(StatusText(status).find("WDC??D1"), std::string::npos);
}

}  // namespace
}  // namespace rur
