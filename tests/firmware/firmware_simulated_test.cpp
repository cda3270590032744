// SPDX-License-Identifier: GPL-3.0-or-later
// The whole upgrade inside the engine, against the simulated enclosure: detection learns the
// firmware type, the image is checked against the detected identity, and the poll cycle keeps
// running around the upgrade (the test's pump steps the engine as the window's event loop would).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "emulator/simulated_host.h"
#include "firmware_test_support.h"
#include "support/engine_test_access.h"
#include "support/recording_ui.h"
#include "support/sim_scenarios.h"
#include "support/simulated_engine.h"
#include "transport/command_frame.h"

namespace rur {
namespace {

constexpr unsigned kDrive = 1;

struct SimulatedUpgrade : test::SimulatedEngine<> {
  explicit SimulatedUpgrade(std::vector<sim::Fault> faults) : SimulatedEngine(Scenario(std::move(faults))) {}
  static sim::Scenario Scenario(std::vector<sim::Fault> faults) {
    sim::Scenario scenario = test::ScenarioOf({test::EnclosureDrive(kDrive)});
    scenario.start = LocalDateTime{2026, 3, 14, 9, 0, 0};
    scenario.faults = std::move(faults);
    return scenario;
  }
  std::vector<std::uint8_t> Opcodes() const { return SimulatedEngine::Opcodes(kDrive); }
};

sim::Fault SpiFault(sim::FaultCommand command, std::uint32_t address, unsigned times,
                    sim::FaultKind kind = sim::FaultKind::Status) {
  sim::Fault fault;
  fault.drive = kDrive;
  fault.kind = kind;
  fault.command = command;
  fault.address = address;
  fault.times = times;
  return fault;
}

TEST(FirmwareOnSimulator, UpgradesAndFailuresInsideTheEngine) {
  struct Case {
    const char* what;
    std::uint32_t length;
    std::uint8_t imageType;
    std::vector<sim::Fault> faults;
    UpgradeOutcome outcome;
    std::string panelSeen;
    std::uint32_t erasedTo;  // successful runs: where the erased tail ends
  } cases[] = {
      {"40,000 bytes", 40000, 0x01, {}, UpgradeOutcome::Succeeded, "SPI Verify OK", 0x14000},
      {"65,536 bytes", 65536, 0x01, {}, UpgradeOutcome::Succeeded, "SPI Verify OK", 0x12000},
      {"write fails twice",
       8192,
       0x01,
       {SpiFault(sim::FaultCommand::SpiWrite, 0x100, 2)},
       UpgradeOutcome::Succeeded,
       "WriteSPI fail2 times, Address = 0100",
       0x8000},
      {"erase fails nine times",
       8192,
       0x01,
       {SpiFault(sim::FaultCommand::SpiErase, 0x3000, 9)},
       UpgradeOutcome::EraseFailed,
       "EraseSPI fail, Address = 3000",
       0},
      {"block will not program",
       8192,
       0x01,
       {SpiFault(sim::FaultCommand::SpiWrite, 0x800, 0, sim::FaultKind::SpiWontProgram)},
       UpgradeOutcome::VerifyFailed,
       "SPI Verify fail !!!",
       0},
      {"type mismatch", 8192, 0x02, {}, UpgradeOutcome::TypeMismatch, "SPI = 01, BIN = 02", 0},
  };
  const auto dir = std::filesystem::temp_directory_path() / ("rur-fw-sim-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimulatedUpgrade run(c.faults);
    Engine& engine = run.engine;
    ASSERT_TRUE(engine.RunUntilDetected(20000));
    ASSERT_EQ(engine.deviceCount(), 1u);
    EXPECT_EQ(engine.devices().currentInfo[0].productType, 0x01);  // read from the flash at detection

    const auto image = test::MakeImage({.length = c.length, .firmwareType = c.imageType});
    const std::string path = (dir / "fw.bin").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const UpgradeDeviceFacts facts{engine.devices().currentInfo[0].controllerKind, engine.identity(engine.DriveAt(0))};
    ASSERT_TRUE(EngineTestAccess::Firmware(engine).LoadImage(path, facts));

    engine.RunFor(12000);  // monitoring armed and refreshing
    run.host.clearRequests();
    bool closeRefused = false;
    run.ui.onPump = [&] {
      run.clock.advanceMs(1);  // a slow device: the timers come due during the run
      engine.Step();
      closeRefused = closeRefused || !engine.Close();
    };
    const std::uint64_t start = run.clock.nowMs();
    EXPECT_EQ(engine.RunUpgrade(), c.outcome);
    run.ui.onPump = nullptr;
    EXPECT_TRUE(run.ui.panelShowed(4, c.panelSeen));
    EXPECT_EQ(EngineTestAccess::Marks(engine).UpgradeTarget.load(), kNoDevice);
    EXPECT_FALSE(engine.UpgradeRunning());
    EXPECT_EQ(run.host.refusedRequests(), 0u);

    const auto opcodes = run.Opcodes();
    if (c.outcome == UpgradeOutcome::TypeMismatch) {
      EXPECT_TRUE(opcodes.empty());
      continue;
    }
    EXPECT_TRUE(closeRefused);
    for (std::uint8_t opcode : opcodes)
      EXPECT_TRUE(opcode == CMD_SPI_READ || opcode == CMD_SPI_WRITE || opcode == CMD_SPI_ERASE) << int(opcode);
    if (c.outcome != UpgradeOutcome::Succeeded) continue;
    EXPECT_GT(run.clock.nowMs() - start, 5000u);  // the monitor timer came due while the flash was busy
    const auto& flash = run.host.controller(kDrive)->flash().bytes();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + c.length, flash.begin() + c.erasedTo, [](auto b) { return b == 0xFF; }));

    engine.RunFor(12000);  // monitoring comes back after the upgrade
    const auto after = run.Opcodes();
    EXPECT_NE(std::count(after.begin(), after.end(), QUERY_MEMBERS), 0);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace rur
