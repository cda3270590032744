#pragma once
// The Upgrade page's behaviour without its widgets: device picking, loading an image and the
// three-step upgrade (erase, program, verify) with its busy mark, progress panel and final box.
// It runs on the main thread; the window stays alive through Ui::pump inside the SPI loops and
// through the progress timer, which whoever drives the timers feeds to ProgressTick once a second.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/device_table.h"
#include "firmware/firmware_image.h"
#include "firmware/spi_flash.h"
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

enum class UpgradeOutcome {
  Busy,           // another long operation runs: nothing done, nothing shown
  DeviceBusy,     // another process holds the device's controller: refused at once, with a box
  NoImage,
  ImageTooLarge,
  TypeMismatch,
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
  // Erases, programs and verifies the picked device's flash with the loaded image.
  UpgradeOutcome RunUpgrade();

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

  UpgradeOutcome RunSteps();
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
  int progressMaximum_ = 0;
  std::uint32_t eraseExtent_ = 0;
  bool progressShown_ = false;
  bool panelShown_ = false;
  std::string panelCaption_;
  std::string labelCaption_;
  std::string busyHolder_;
};

}  // namespace rur
