// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Upgrade page's behaviour without its widgets: device picking, loading an image and the
// three-step upgrade (erase, program, verify) with its busy mark, progress panel and final box.
// It runs on the main thread; the window stays alive through Ui::pump inside the SPI loops and
// through the progress timer, which whoever drives the timers feeds to ProgressTick once a second.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "discovery/device_table.h"
#include "firmware/firmware_image.h"
#include "firmware/spi_flash.h"
#include "firmware/upgrade_journal.h"
#include "firmware/upgrade_state.h"
#include "platform/user_interface.h"

namespace rur {

// Flash erased before programming: the image length rounded down to 8 KiB, plus 8 KiB.
constexpr std::uint32_t EraseExtent(std::uint32_t imageLength) { return (imageLength & ~0x1FFFu) + 0x2000u; }
// Small images get their extent erased twice over.
constexpr std::uint32_t kDoubleEraseUpTo = 0x10000;
// ProgressBar1's maximum for an erase extent.
constexpr int ProgressMaximum(std::uint32_t extent) {
  return static_cast<int>(extent / kSpiBlockSize * 2 + extent / kSpiEraseBlockSize + 30);
}

// An image is much shorter than the firmware it replaces when the old firmware reaches past this
// many times its length: a truncated file or a wrong one, most likely.
constexpr std::uint32_t kMuchShorterFactor = 2;

// What a run with an image of some length erases, programs and reads back.
struct UpgradePlan {
  std::uint32_t eraseExtent = 0;    // EraseExtent of the length
  std::uint32_t eraseLength = 0;    // bytes erased from address 0: the extent, twice over when small
  std::uint32_t eraseBlocks = 0;    // 4 KiB blocks erased
  std::uint32_t programBlocks = 0;  // 128-byte blocks programmed, and read back to verify
};
constexpr UpgradePlan PlanUpgrade(std::uint32_t imageLength) {
  UpgradePlan plan;
  plan.eraseExtent = EraseExtent(imageLength);
  plan.eraseLength = plan.eraseExtent <= kDoubleEraseUpTo ? 2 * plan.eraseExtent : plan.eraseExtent;
  plan.eraseBlocks = (plan.eraseLength + kSpiEraseBlockSize - 1) / kSpiEraseBlockSize;
  plan.programBlocks = (imageLength + kSpiBlockSize - 1) / kSpiBlockSize;
  return plan;
}

enum class UpgradeOutcome {
  Busy,        // another long operation runs: nothing done, nothing shown
  DeviceBusy,  // another process holds the device's controller: refused at once, with a box
  NoImage,
  ImageTooLarge,
  TypeMismatch,
  JournalFailed,       // the journal could not be written: nothing erased
  OtherImageRecorded,  // an interrupted upgrade of the device was writing another image
  EraseFailed,
  ProgramFailed,
  ReadBackFailed,
  VerifyFailed,
  Succeeded,
};

class FirmwareUpgrade {
 public:
  FirmwareUpgrade(SpiFlash& flash, const DeviceTable& devices, UpgradeState& state, Ui& ui);

  void BeginLongOperation();
  void EndLongOperation();

  // The device the upgrade aims at: a present device, never changed while an upgrade holds a
  // target. Returns whether the selection changed.
  bool PickDevice(unsigned position);
  // A device that went away cannot stay picked: the selection returns to the first device.
  void KeepPickPresent();
  unsigned pickedDevice() const { return state_.UpgradeSelection.load(); }
  // Whether a firmware file may be chosen now.
  bool CanChooseFile() const { return !state_.OperationBusy.load(); }
  // The chosen file, checked against the picked device.
  bool LoadImage(const std::string& path, const UpgradeDeviceFacts& device);
  // The same through `reader` (a descriptor a caller handed over); `path` names it in messages.
  bool LoadImage(const std::string& path, const UpgradeDeviceFacts& device, ImageFileReader& reader);
  // Erases, programs and verifies the picked device's flash with the loaded image.
  UpgradeOutcome RunUpgrade();
  // The checks RunUpgrade makes before it erases (image, device, type), with the same messages,
  // and nothing sent to the flash: Succeeded when the upgrade would start.
  UpgradeOutcome CheckUpgrade();
  // Lets a run write another image than the one an interrupted upgrade of the device recorded.
  void AllowOtherImage(bool allowed) { allowOtherImage_ = allowed; }
  // Whether the valid firmware in the picked device's flash reaches past the loaded image's end,
  // however little (a block read right after it, and one at kMuchShorterFactor times its length);
  // nothing when it could not be read. The face
  // that starts the run asks the user once more when it does. An interrupted upgrade on record is
  // never asked about: finishing it is the repair.
  std::optional<bool> ImageMuchShorter();
  // The interrupted upgrade recorded for the device at position, when there is one.
  std::optional<UpgradeJournalRecord> RecordedRun(unsigned position) const;
  // Where runs keep their journal; describe tells what is known of the device at a position
  // (its image facts and step are filled in here). Without a journal runs keep none.
  void AttachJournal(UpgradeJournal* journal, std::function<UpgradeJournalRecord(unsigned position)> describe);

  // Copies ProgressCount to the progress bar while the progress timer runs (once a second).
  void ProgressTick();
  bool progressShown() const { return progressShown_; }
  // Blocks done by the running operation.
  int progressCount() const { return state_.ProgressCount.load(); }

  // Close, shutdown or log-off: refused with a box while an upgrade runs.
  bool CloseQuery();

  // Reads the flash of the device at position from address 0, under the busy mark like an upgrade.
  bool BackupFlash(unsigned position, std::uint32_t length, std::vector<std::uint8_t>& out);
  // What held the device when the last upgrade or backup was refused; empty when none was.
  const std::string& busyHolder() const { return busyHolder_; }

  FirmwareImage& image() { return image_; }
  const FirmwareImage& image() const { return image_; }
  int progressMaximum() const { return progressMaximum_; }
  bool panelShown() const { return panelShown_; }
  const std::string& panelCaption() const { return panelCaption_; }
  const std::string& labelCaption() const { return labelCaption_; }
  std::uint32_t lastEraseExtent() const { return eraseExtent_; }

 private:
  // Sets the busy mark for a scope; no return path leaves it set.
  class LongOperation {
   public:
    explicit LongOperation(FirmwareUpgrade& owner) : owner_(owner) { owner_.BeginLongOperation(); }
    ~LongOperation() { owner_.EndLongOperation(); }
    LongOperation(const LongOperation&) = delete;
    LongOperation& operator=(const LongOperation&) = delete;

   private:
    FirmwareUpgrade& owner_;
  };

  UpgradeOutcome Precheck();
  UpgradeOutcome RunSteps();
  // Programs the image from address 0, its header blocks last.
  bool ProgramImage();
  bool OpenJournal(unsigned target);
  void JournalStep(UpgradeStep step);
  void CloseJournal();
  // The device's controller for a whole run, shared with other processes; empty (with
  // busyHolder_ set) when another one holds it.
  std::unique_ptr<ControllerHold> HoldDevice(unsigned position);
  void ShowPanel(bool shown, const std::string& caption);
  void UpdateBar();

  SpiFlash& flash_;
  const DeviceTable& devices_;
  UpgradeState& state_;
  Ui& ui_;
  FirmwareImage image_;
  UpgradeJournal* journal_ = nullptr;
  std::function<UpgradeJournalRecord(unsigned position)> describe_;
  std::optional<UpgradeJournalRecord> journalRecord_;  // the running upgrade's
  int progressMaximum_ = 0;
  std::uint32_t eraseExtent_ = 0;
  bool progressShown_ = false;
  bool panelShown_ = false;
  std::string panelCaption_;
  std::string labelCaption_;
  std::string busyHolder_;
  bool allowOtherImage_ = false;
};

}  // namespace rur
