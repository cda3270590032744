#pragma once
// The Upgrade page's behaviour without its widgets: device picking, loading an image and the
// three-step upgrade (erase, program, verify) with its busy mark, progress panel and final box.
// It runs on the main thread; the window stays alive through Ui::pump inside the SPI loops and
// through Timer1, which whoever drives the timers feeds to Timer1Tick once a second.

#include <cstdint>
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

  // Device pickers: ignored while an upgrade holds a target. Returns whether the selection changed.
  bool Image2_D1Click() { return PickDevice(0); }
  bool Image2_D2Click() { return PickDevice(1); }
  // Whether the open-file dialog may be shown now.
  bool Image2_LoadClick() const { return !state_.OperationBusy.load(); }
  // The dialog's file, checked against the picked device.
  bool LoadImage(const std::string& path, const UpgradeDeviceFacts& device);
  UpgradeOutcome Image2_UpgradeClick();

  // Copies ProgressCount to the bar while Timer1 is enabled.
  void Timer1Tick();
  bool timer1Enabled() const { return timer1Enabled_; }

  // Close, shutdown or log-off: refused with a box while an upgrade runs.
  bool CloseQuery();

  // Reads the flash of the device at position from address 0, under the busy mark like an upgrade.
  bool BackupFlash(unsigned position, std::uint32_t length, std::vector<std::uint8_t>& out);

  FirmwareImage& image() { return image_; }
  const FirmwareImage& image() const { return image_; }
  int progressMaximum() const { return progressMaximum_; }
  bool panelShown() const { return panelShown_; }
  const std::string& panelCaption() const { return panelCaption_; }   // Panel1
  const std::string& labelCaption() const { return labelCaption_; }   // Label12
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

  bool PickDevice(unsigned position);
  UpgradeOutcome RunSteps();
  void ShowPanel(bool shown, const std::string& caption);
  void UpdateBar();

  SpiFlash& flash_;
  const DeviceTable& devices_;
  UpgradeState& state_;
  Ui& ui_;
  FirmwareImage image_;
  int progressMaximum_ = 0;
  std::uint32_t eraseExtent_ = 0;
  bool timer1Enabled_ = false;
  bool panelShown_ = false;
  std::string panelCaption_;
  std::string labelCaption_;
};

}  // namespace rur
