// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "firmware/firmware_upgrade.h"
#include "firmware_test_support.h"
#include "simulated_flash_drives.h"
#include "support/recording_ui.h"

namespace rur {
namespace {

using test::ImageSpec;
using test::MakeImage;
using test::RecordingUi;

constexpr unsigned kDrive = 2;
constexpr std::uint8_t kOldFirmware = 0x3C;
const std::string kDoneText =
    "Firmware Upgrade 3/3 completed!\n\nPlease power off this device or the system,\nand power on it to enable the "
    "new firmware!";

struct FirmwareUpgradeTest : ::testing::Test {
  VirtualClock clock;
  test::SimulatedFlashDrives drives{kDrive, clock};
  RecordingUi ui;
  ControllerChannel channel{drives, clock, ui};
  DeviceTable devices;
  UpgradeState state;
  SpiFlash flash{channel, devices, state, ui};
  FirmwareUpgrade upgrade{flash, devices, state, ui};
  std::vector<std::uint8_t> imageBytes;

  FirmwareUpgradeTest() {
    FillWithOldFirmware();
    devices.current[0] = kEntryAccepted | kDrive;
    devices.currentCount = 1;
    devices.currentInfo[0].productType = 0x21;
  }

  void FillWithOldFirmware() { drives.flash().Fill(std::vector<std::uint8_t>(sim::SpiFlash::kSize, kOldFirmware)); }

  void Hold(const ImageSpec& spec) {
    imageBytes = MakeImage(spec);
    test::HoldImage(upgrade.image(), imageBytes);
  }

  // Every run ends idle: no target, nothing busy, panel hidden, the device boxes usable again.
  void ExpectIdle(const char* what) {
    EXPECT_EQ(state.UpgradeTarget.load(), kNoDevice) << what;
    EXPECT_FALSE(state.OperationBusy.load()) << what;
    EXPECT_FALSE(ui.panelShown) << what;
    EXPECT_FALSE(upgrade.progressShown()) << what;
    ASSERT_FALSE(ui.selectorStates.empty()) << what;
    EXPECT_TRUE(ui.selectorStates.back()) << what;
    EXPECT_EQ(drives.openHandles, 0) << what;
    EXPECT_EQ(drives.otherRequests(), 0u) << what;
  }
};

TEST_F(FirmwareUpgradeTest, ImageReplacesTheFlashAndTheRestOfTheExtentIsErased) {
  struct Case {
    std::uint32_t length, extent;
    std::size_t erases, writes;
    int maximum;
  } cases[] = {
      {40000, 0xA000, 20, 313, 680},  // small extent erased twice over
      {65536, 0x12000, 18, 512, 1200},
      {57344, 0x10000, 32, 448, 1070},  // the largest extent that is still doubled
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    FillWithOldFirmware();
    drives.commands.clear();
    ui = RecordingUi{};
    Hold({.length = c.length});
    EXPECT_EQ(upgrade.RunUpgrade(), UpgradeOutcome::Succeeded);
    EXPECT_EQ(upgrade.lastEraseExtent(), c.extent);
    EXPECT_EQ(upgrade.progressMaximum(), c.maximum);
    EXPECT_EQ(drives.count(CMD_SPI_ERASE), c.erases);
    EXPECT_EQ(drives.count(CMD_SPI_WRITE), c.writes);
    EXPECT_EQ(drives.count(CMD_SPI_READ), c.writes);
    EXPECT_EQ(state.ProgressCount.load(), static_cast<int>(c.erases + 2 * c.writes));
    EXPECT_EQ(ui.progressSeen.back(), std::make_pair(state.ProgressCount.load(), c.maximum));

    const auto rom = drives.flash().bytes();
    const std::uint32_t eraseEnd = static_cast<std::uint32_t>(c.erases) * 4096;
    EXPECT_TRUE(std::equal(imageBytes.begin(), imageBytes.end(), rom.begin()));
    EXPECT_TRUE(std::all_of(rom.begin() + c.length, rom.begin() + eraseEnd, [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(rom[eraseEnd], kOldFirmware);

    EXPECT_EQ(ui.panelTexts[4],
              (std::vector<std::string>{"SPI = 21, BIN = 21", "SPI Erase OK", "SPI Program OK", "SPI Verify OK"}));
    EXPECT_EQ(ui.panelCaptions, (std::vector<std::string>{"Process 1 / 3", "Process 2 / 3", "Process 3 / 3"}));
    EXPECT_EQ(ui.label, "Firmware Update...");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, kDoneText);
    EXPECT_EQ(ui.boxes[0].caption, "Firmware Upgrade Message");
    EXPECT_EQ(ui.boxes[0].kind, MessageKind::Exclamation);
    EXPECT_EQ(ui.selectorStates, (std::vector<bool>{false, true}));
    ExpectIdle("success");
  }
}

TEST_F(FirmwareUpgradeTest, FailuresEndTheRunWithTheirText) {
  struct Case {
    const char* what;
    std::function<void()> setup;
    UpgradeOutcome outcome;
    std::string finalBox;
    std::string panelSeen;
    std::size_t writes;
  } cases[] = {
      {"write fails twice", [&] { drives.Fail(sim::FaultCommand::SpiWrite, 0x100, 2); }, UpgradeOutcome::Succeeded,
       kDoneText, "WriteSPI fail2 times, Address = 0100", 34},
      {"erase fails nine times", [&] { drives.Fail(sim::FaultCommand::SpiErase, 0x3000, 9); },
       UpgradeOutcome::EraseFailed, "SPI Erase Fail.", "EraseSPI fail, Address = 3000", 0},
      // The header's two blocks are programmed last, so a run cut off before them leaves no header.
      {"program fails", [&] { drives.Fail(sim::FaultCommand::SpiWrite, 0x200, 9); }, UpgradeOutcome::ProgramFailed,
       "SPI Program Fail.", "WriteSPI fail, Address = 0200", 2 + 9},
      {"program fails at the header", [&] { drives.Fail(sim::FaultCommand::SpiWrite, 0x80, 9); },
       UpgradeOutcome::ProgramFailed, "SPI Program Fail.", "WriteSPI fail, Address = 0080", 30 + 1 + 9},
      {"read-back fails", [&] { drives.Fail(sim::FaultCommand::SpiRead, 0x80, 9); }, UpgradeOutcome::ReadBackFailed,
       "ReadSPI fail, Address = 0080", "ReadSPI fail 9 times, Address = 0080", 32},
      {"read-back differs", [&] { drives.Fail(sim::FaultCommand::SpiWrite, 0x800, 0, sim::FaultKind::SpiWontProgram); },
       UpgradeOutcome::VerifyFailed, "SPI Verify fail !!!", "SPI Program OK", 32},
      {"device gone", [&] { drives.gone = true; }, UpgradeOutcome::EraseFailed, "SPI Erase Fail.", "SPI = 21, BIN = 21",
       0},
      // Gone before the read-back: the run must not end on "SPI Program OK".
      {"device gone after programming",
       [&] {
         ui.onPump = [&] {
           if (drives.count(CMD_SPI_WRITE) == 32) drives.gone = true;
         };
       },
       UpgradeOutcome::ReadBackFailed, "SPI Verify fail !!!", "SPI Program OK", 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    drives.Reset();
    ui = RecordingUi{};
    Hold({.length = 4096});
    c.setup();
    EXPECT_EQ(upgrade.RunUpgrade(), c.outcome);
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().text, c.finalBox);
    EXPECT_TRUE(ui.panelShowed(4, c.panelSeen));
    EXPECT_EQ(drives.count(CMD_SPI_WRITE), c.writes);
    if (c.outcome == UpgradeOutcome::ProgramFailed) {
      std::vector<std::uint8_t> head(kFlashHeadLength);
      drives.flash().Read(0, head.data(), head.size());
      EXPECT_FALSE(HasImageHeader(head.data()));
    }
    if (c.outcome == UpgradeOutcome::EraseFailed) {
      EXPECT_EQ(drives.count(CMD_SPI_READ), 0u);
    }
    ExpectIdle(c.what);
  }
  // The erase that failed at 0x3000 touched nothing after it.
  drives.Reset();
  drives.Fail(sim::FaultCommand::SpiErase, 0x3000, 9);
  upgrade.RunUpgrade();
  EXPECT_EQ(drives.commands.back(), (test::SpiCommandSeen{CMD_SPI_ERASE, 0x3000}));
}

TEST_F(FirmwareUpgradeTest, NothingIsSentWithoutAnImageOrWithTheWrongType) {
  EXPECT_EQ(upgrade.RunUpgrade(), UpgradeOutcome::NoImage);
  EXPECT_EQ(ui.boxes.back().text, "Please Load Firmware File First ");
  ExpectIdle("no image");

  Hold({.length = 4096, .firmwareType = 0x22});
  EXPECT_EQ(upgrade.RunUpgrade(), UpgradeOutcome::TypeMismatch);
  EXPECT_EQ(ui.boxes.back().text, "Incorrect Firmware Type! SPI = 21, BIN = 22");
  EXPECT_EQ(ui.boxes.back().caption, "Message");
  EXPECT_EQ(ui.panels[4], "SPI = 21, BIN = 22");
  EXPECT_TRUE(drives.host().requests().empty());  // not one sector read, so no SPI command
  EXPECT_TRUE(ui.panelCaptions.empty());
  ExpectIdle("type mismatch");

  // The checks alone (a dry run) say the same and send nothing either.
  EXPECT_EQ(upgrade.CheckUpgrade(), UpgradeOutcome::TypeMismatch);
  EXPECT_TRUE(drives.host().requests().empty());
  ExpectIdle("type check only");

  // A flash that holds no valid image (erased, or cut off mid-way) has no type to compare: the
  // mismatch is a warning and the repair goes ahead.
  const auto warning = [](const char* deviceType) {
    return "The controller's flash holds no valid firmware (SPI = " + std::string(deviceType) +
           ", BIN = 22), so its type cannot be checked.\nThe image is written as it is: make sure it is the one "
           "made for this enclosure.";
  };
  for (const auto& [type, valid] : {std::pair<std::uint8_t, bool>{0xFF, true}, {0x21, false}}) {
    SCOPED_TRACE(int(type));
    devices.currentInfo[0].productType = type;
    devices.currentInfo[0].firmwareValid = valid;
    ui = test::RecordingUi{};
    drives.host().clearRequests();
    EXPECT_EQ(upgrade.CheckUpgrade(), UpgradeOutcome::Succeeded);
    EXPECT_TRUE(drives.host().requests().empty());
    EXPECT_EQ(upgrade.RunUpgrade(), UpgradeOutcome::Succeeded);
    ASSERT_EQ(ui.boxes.size(), 3u);  // warned by the check, again by the run, then the final box
    EXPECT_EQ(ui.boxes[1].caption, "Firmware Upgrade Message");
    EXPECT_EQ(ui.boxes[1].kind, MessageKind::Warning);
    EXPECT_EQ(ui.boxes[1].text, warning(type == 0xFF ? "FF" : "21"));
    EXPECT_EQ(ui.boxes[2].text, kDoneText);
  }
  devices.currentInfo[0].productType = 0x21;
  devices.currentInfo[0].firmwareValid = true;

  devices.currentInfo[0].controllerKind = ControllerKind::PortMultiplier;
  EXPECT_EQ(upgrade.RunUpgrade(), UpgradeOutcome::Succeeded);
  ExpectIdle("port multiplier");
}

TEST_F(FirmwareUpgradeTest, JournalStandsForTheRunUntilItsVerifySucceeds) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("rur-journal-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  UpgradeJournal journal(dir.string());
  upgrade.AttachJournal(&journal, [](unsigned position) {
    UpgradeJournalRecord record;
    record.device = position;
    record.drive = kDrive;
    record.enclosure = "usb-1209-2760-T1";
    record.path = "/dev/sdc";
    record.product = "RODE RUR Dual Bay RAID";
    record.started = "2026/3/14 9:00:00";
    return record;
  });
  struct Case {
    const char* what;
    std::function<void()> setup;
    UpgradeOutcome outcome;
    std::vector<std::string> stepsSeen;  // in the journal while the run went on
    bool left;                           // a record is there after the run
  } cases[] = {
      {"success", [] {}, UpgradeOutcome::Succeeded, {"erase", "program", "verify"}, false},
      {"program fails",
       [&] { drives.Fail(sim::FaultCommand::SpiWrite, 0x200, 9); },
       UpgradeOutcome::ProgramFailed,
       {"erase", "program"},
       true},
      {"verify fails",
       [&] { drives.Fail(sim::FaultCommand::SpiWrite, 0x800, 0, sim::FaultKind::SpiWontProgram); },
       UpgradeOutcome::VerifyFailed,
       {"erase", "program", "verify"},
       true},
      // No journal, no erase: the run that could not be recorded leaves the flash alone.
      {"journal cannot be written",
       [&] { std::filesystem::remove_all(dir); },
       UpgradeOutcome::JournalFailed,
       {},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    drives.Reset();
    ui = test::RecordingUi{};
    Hold({.length = 8192});
    c.setup();
    std::vector<std::string> steps;
    ui.onPump = [&] {
      const auto records = journal.Unfinished();
      if (records.empty()) return;
      const std::string step = UpgradeStepName(records[0].step);
      if (steps.empty() || steps.back() != step) steps.push_back(step);
    };
    EXPECT_EQ(upgrade.RunUpgrade(), c.outcome);
    EXPECT_EQ(steps, c.stepsSeen);
    const auto left = journal.Unfinished();
    ASSERT_EQ(left.size(), c.left ? 1u : 0u);
    if (c.left) {
      EXPECT_EQ(left[0].drive, kDrive);
      EXPECT_EQ(left[0].path, "/dev/sdc");
      EXPECT_EQ(left[0].imageSize, 8192u);
      EXPECT_EQ(left[0].imageChecksum, upgrade.image().checksum);
      EXPECT_EQ(UnfinishedUpgradeText(left[0]),
                "Firmware upgrade of Device1 did not finish (started 2026/3/14 9:00:00): its flash may be "
                "incomplete. Do not power it off; run the upgrade again with the same image.");
      std::string error;
      ASSERT_TRUE(journal.Remove(RecordKey(left[0]), kDrive, error)) << error;
    }
    if (c.outcome == UpgradeOutcome::JournalFailed) {
      EXPECT_TRUE(drives.commands.empty());
      EXPECT_NE(ui.boxes.back().text.find("Nothing was erased."), std::string::npos);
    }
    ExpectIdle(c.what);
  }

  // A record kept under the drive number (by an earlier program) stands for the same enclosure: a
  // run with another image is refused before anything is sent, unless allowed, and the finished
  // run clears the record.
  std::filesystem::create_directories(dir);
  UpgradeJournalRecord earlier;
  earlier.drive = kDrive;
  earlier.imageSize = 4096;
  earlier.imageChecksum = 1;
  std::string error;
  ASSERT_TRUE(journal.Write(earlier, error)) << error;
  drives.Reset();
  ui = test::RecordingUi{};
  Hold({.length = 8192});
  EXPECT_EQ(upgrade.RunUpgrade(), UpgradeOutcome::OtherImageRecorded);
  EXPECT_EQ(ui.boxes.back().text,
            "The interrupted upgrade of Device1 (started at an unknown time) was writing another image: 4096 bytes, "
            "checksum 00000001.\nRun the upgrade again with that image.");
  EXPECT_TRUE(drives.commands.empty());
  upgrade.AllowOtherImage(true);
  EXPECT_EQ(upgrade.RunUpgrade(), UpgradeOutcome::Succeeded);
  EXPECT_TRUE(journal.Unfinished().empty());
  std::filesystem::remove_all(dir);

  // The key names a file: whatever the bridge reports stays inside the journal's folder.
  const auto facts = [](const char* serial, const char* byId) {
    DriveFacts drive;
    drive.number = 3;
    drive.usbVendorId = "1209";
    drive.usbProductId = "2760";
    drive.usbSerial = serial;
    drive.byId = byId;
    return drive;
  };
  const std::pair<DriveFacts, std::string> keys[] = {
      {facts("A1/../x", ""), "usb-1209-2760-A1_.._x"},
      {facts("", "/dev/disk/by-id/usb-RODE_RUR-0:0"), "usb-RODE_RUR-0_0"},
      {facts("", "..hidden"), "_.hidden"},
      {facts("", ""), "drive3"},
  };
  for (const auto& [drive, key] : keys) EXPECT_EQ(EnclosureKey(drive), key);
}

TEST_F(FirmwareUpgradeTest, WhileRunningEverythingElseStaysAway) {
  devices.current[1] = kEntryAccepted | 7;
  devices.currentCount = 2;
  Hold({.length = 8192});
  bool checked = false;
  ui.onPump = [&] {
    if (checked || drives.count(CMD_SPI_WRITE) < 10) return;
    checked = true;
    EXPECT_EQ(state.UpgradeTarget.load(), 0u);
    EXPECT_EQ(upgrade.RunUpgrade(), UpgradeOutcome::Busy);
    EXPECT_FALSE(upgrade.PickDevice(1));
    EXPECT_EQ(state.UpgradeSelection.load(), 0u);
    EXPECT_FALSE(upgrade.CanChooseFile());
    EXPECT_FALSE(upgrade.CloseQuery());
    EXPECT_EQ(ui.boxes.back().text, "Firmware is upgrading, please wait a moment.");
    EXPECT_EQ(ui.boxes.back().caption, "Message");
    upgrade.ProgressTick();
    EXPECT_EQ(ui.progressSeen.back(), std::make_pair(state.ProgressCount.load(), upgrade.progressMaximum()));
    EXPECT_GT(state.ProgressCount.load(), 8);  // the doubled erase of 0x4000 is done
    EXPECT_EQ(ui.panelCaptions.back(), "Process 2 / 3");
  };
  EXPECT_EQ(upgrade.RunUpgrade(), UpgradeOutcome::Succeeded);
  EXPECT_TRUE(checked);
  ExpectIdle("after the run");
  const auto ticks = ui.progressSeen.size();
  upgrade.ProgressTick();  // the progress timer is off again
  EXPECT_EQ(ui.progressSeen.size(), ticks);
  EXPECT_TRUE(upgrade.CloseQuery());
  EXPECT_TRUE(upgrade.CanChooseFile());
  EXPECT_TRUE(upgrade.PickDevice(1));
  EXPECT_EQ(state.UpgradeSelection.load(), 1u);
}

TEST_F(FirmwareUpgradeTest, BackupReadsTheFlashUnderTheBusyMark) {
  for (std::uint32_t i = 0; i < 2000; ++i) drives.flash().set(i, static_cast<std::uint8_t>(i * 13));
  std::vector<std::uint8_t> copy;
  bool busySeen = false;
  ui.onPump = [&] { busySeen = busySeen || state.OperationBusy.load(); };
  ASSERT_TRUE(upgrade.BackupFlash(0, 1000, copy));
  EXPECT_TRUE(busySeen);
  ASSERT_EQ(copy.size(), 1000u);
  EXPECT_TRUE(std::equal(copy.begin(), copy.end(), drives.flash().bytes().begin()));
  EXPECT_EQ(drives.count(CMD_SPI_WRITE) + drives.count(CMD_SPI_ERASE), 0u);
  ExpectIdle("backup");

  EXPECT_FALSE(upgrade.BackupFlash(1, 1000, copy));  // no second device
  EXPECT_EQ(ui.panels[4], "No Upgrade Mode!!!");
  EXPECT_TRUE(copy.empty());
}

}  // namespace
}  // namespace rur
