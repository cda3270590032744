// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/firmware_upgrade.h"

#include <algorithm>
#include <cstdio>

namespace rur {
namespace {

constexpr const char* kMessageCaption = "Message";
constexpr const char* kUpgradeCaption = "Firmware Upgrade Message";
constexpr std::uint8_t kErasedFlashByte = 0xFF;
// The blocks that hold the image's header: every header field lies below their end.
constexpr std::uint32_t kHeaderBlocksEnd =
    (image_offset::kHeaderEnd + kSpiBlockSize - 1) / kSpiBlockSize * kSpiBlockSize;

std::string Hex8(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

std::string TypeText(std::uint8_t deviceType, std::uint8_t imageType) {
  char text[32];
  std::snprintf(text, sizeof text, "SPI = %02X, BIN = %02X", deviceType, imageType);
  return text;
}

}  // namespace

FirmwareUpgrade::FirmwareUpgrade(SpiFlash& flash, const DeviceTable& devices, UpgradeState& state, Ui& ui)
    : flash_(flash), devices_(devices), state_(state), ui_(ui) {}

void FirmwareUpgrade::BeginLongOperation() {
  state_.OperationBusy = true;
  ui_.deviceSelectorsEnabled(false);
}

void FirmwareUpgrade::EndLongOperation() {
  state_.UpgradeTarget = kNoDevice;
  ui_.deviceSelectorsEnabled(true);
  state_.OperationBusy = false;
}

bool FirmwareUpgrade::PickDevice(unsigned position) {
  if (state_.targetSet() || position >= devices_.currentCount || state_.UpgradeSelection.load() == position)
    return false;
  state_.UpgradeSelection = position;
  return true;
}

void FirmwareUpgrade::KeepPickPresent() {
  if (!state_.targetSet() && devices_.currentCount > 0 && state_.UpgradeSelection.load() >= devices_.currentCount)
    state_.UpgradeSelection = 0;
}

bool FirmwareUpgrade::LoadImage(const std::string& path, const UpgradeDeviceFacts& device) {
  return LoadFirmwareImage(path, image_, device, ui_);
}

bool FirmwareUpgrade::LoadImage(const std::string& path, const UpgradeDeviceFacts& device, ImageFileReader& reader) {
  return LoadFirmwareImage(path, image_, device, ui_, reader);
}

bool FirmwareUpgrade::CloseQuery() {
  if (!state_.OperationBusy.load()) return true;
  ui_.messageBox("Firmware is upgrading, please wait a moment.", kMessageCaption, MessageKind::Plain);
  return false;
}

void FirmwareUpgrade::ProgressTick() {
  if (progressShown_) UpdateBar();
}

void FirmwareUpgrade::UpdateBar() { ui_.progress(state_.ProgressCount.load(), progressMaximum_); }

void FirmwareUpgrade::ShowPanel(bool shown, const std::string& caption) {
  panelShown_ = shown;
  panelCaption_ = caption;
  ui_.upgradePanel(shown, panelCaption_, labelCaption_);
}

void FirmwareUpgrade::AttachJournal(UpgradeJournal* journal,
                                    std::function<UpgradeJournalRecord(unsigned position)> describe) {
  journal_ = journal;
  describe_ = std::move(describe);
}

std::unique_ptr<ControllerHold> FirmwareUpgrade::HoldDevice(unsigned position) {
  busyHolder_.clear();
  if (position >= devices_.currentCount) return nullptr;
  HoldAttempt held =
      flash_.channel().drives().HoldController(DriveOf(devices_.current[position]), kShortCommandHoldWaitMs);
  if (held.outcome == HoldAttempt::Outcome::Busy) busyHolder_ = held.holder;
  return std::move(held.hold);
}

UpgradeOutcome FirmwareUpgrade::RunUpgrade() {
  if (state_.OperationBusy.load()) return UpgradeOutcome::Busy;
  // No other process may send a command to the controller until the flash is whole again.
  const auto hold = HoldDevice(state_.UpgradeSelection.load());
  if (!busyHolder_.empty()) {
    ui_.messageBox("Device" + std::to_string(state_.UpgradeSelection.load() + 1) + " is in use by " + busyHolder_ +
                       ".\nPlease try again when it has finished.",
                   kMessageCaption, MessageKind::Plain);
    return UpgradeOutcome::DeviceBusy;
  }
  LongOperation operation(*this);
  const UpgradeOutcome checked = Precheck();
  return checked == UpgradeOutcome::Succeeded ? RunSteps() : checked;
}

UpgradeOutcome FirmwareUpgrade::CheckUpgrade() {
  if (state_.OperationBusy.load()) return UpgradeOutcome::Busy;
  LongOperation operation(*this);
  return Precheck();
}

UpgradeOutcome FirmwareUpgrade::Precheck() {
  if (!image_.loaded()) {
    ui_.messageBox("Please Load Firmware File First ", kMessageCaption, MessageKind::Plain);
    return UpgradeOutcome::NoImage;
  }
  const std::uint32_t target = state_.UpgradeSelection.load();
  state_.UpgradeTarget = target;

  const DevicePosition facts = target < kMaxDevices ? devices_.currentInfo[target] : DevicePosition{};
  const std::uint8_t deviceType = facts.productType;
  const std::uint8_t imageType = image_.firmwareType();
  flash_.ShowStatus(TypeText(deviceType, imageType));

  eraseExtent_ = EraseExtent(image_.length);
  // The loader refuses such images already; an extent past 8 MiB would wrap onto the flash start.
  if (eraseExtent_ > kSpiReachableBytes || eraseExtent_ < image_.length) {
    ui_.messageBox("The firmware file is too large for the controller's flash.", kMessageCaption, MessageKind::Plain);
    return UpgradeOutcome::ImageTooLarge;
  }

  // A port-multiplier controller does not report its type reliably, so a mismatch is let through.
  if (deviceType != imageType && facts.controllerKind == ControllerKind::Raid) {
    // An erased or half-written flash has no type to compare: refusing would lock the user out of
    // the one repair there is, so the user is warned and the image is written.
    const bool noFirmware = deviceType == kErasedFlashByte || !facts.firmwareValid;
    if (!noFirmware) {
      ui_.messageBox("Incorrect Firmware Type! " + TypeText(deviceType, imageType), kMessageCaption,
                     MessageKind::Plain);
      return UpgradeOutcome::TypeMismatch;
    }
    ui_.messageBox("The controller's flash holds no valid firmware (" + TypeText(deviceType, imageType) +
                       "), so its type cannot be checked.\nThe image is written as it is: make sure it is the "
                       "one made for this enclosure.",
                   kUpgradeCaption, MessageKind::Warning);
  }

  // Recovering with another image than the interrupted run was writing would hide what the flash
  // was meant to hold; a record that could not be read names no image and refuses nothing.
  if (const auto recorded = RecordedRun(target);
      recorded && recorded->imageSize != 0 && !allowOtherImage_ &&
      (recorded->imageChecksum != image_.checksum || recorded->imageSize != image_.length)) {
    ui_.messageBox("The interrupted upgrade of Device" + std::to_string(target + 1) + " (started " +
                       (recorded->started.empty() ? std::string("at an unknown time") : recorded->started) +
                       ") was writing another image: " + std::to_string(recorded->imageSize) + " bytes, checksum " +
                       Hex8(recorded->imageChecksum) + ".\nRun the upgrade again with that image.",
                   kMessageCaption, MessageKind::Plain);
    return UpgradeOutcome::OtherImageRecorded;
  }
  return UpgradeOutcome::Succeeded;
}

std::optional<UpgradeJournalRecord> FirmwareUpgrade::RecordedRun(unsigned position) const {
  if (!journal_ || !describe_ || position >= devices_.currentCount) return std::nullopt;
  const UpgradeJournalRecord device = describe_(position);
  return journal_->RecordOf(RecordKey(device), device.drive);
}

std::optional<bool> FirmwareUpgrade::ImageMuchShorter() {
  const std::uint32_t position = state_.UpgradeSelection.load();
  if (!image_.loaded() || state_.OperationBusy.load() || position >= devices_.currentCount) return std::nullopt;
  // A flash without valid firmware has nothing to replace: its leftovers say nothing of the image.
  // Nor is an interrupted upgrade's flash asked about: the image it was writing was chosen then,
  // and another one is refused unless the user insists.
  if (!devices_.currentInfo[position].firmwareValid || RecordedRun(position)) return false;
  // The old firmware reaches past the image when the block right after the image's end holds
  // anything, or the block at kMuchShorterFactor times its length does (a stretch of erased bytes
  // inside the old firmware does not hide a longer one).
  std::vector<std::uint64_t> samples;
  for (const std::uint64_t beyond : {std::uint64_t{image_.length}, std::uint64_t{image_.length} * kMuchShorterFactor}) {
    const std::uint64_t block = (beyond + kSpiBlockSize - 1) / kSpiBlockSize * kSpiBlockSize;
    if (block + kSpiBlockSize <= kSpiReachableBytes) samples.push_back(block);
  }
  if (samples.empty()) return false;
  std::vector<std::uint8_t> sample(kSpiBlockSize, kErasedFlashByte);
  LongOperation operation(*this);
  state_.UpgradeTarget = position;
  for (const std::uint64_t block : samples) {
    if (!flash_.ReadSPI(static_cast<std::uint32_t>(block), kSpiBlockSize, sample.data())) return std::nullopt;
    if (std::any_of(sample.begin(), sample.end(), [](std::uint8_t b) { return b != kErasedFlashByte; })) return true;
  }
  return false;
}

bool FirmwareUpgrade::OpenJournal(unsigned target) {
  journalRecord_.reset();
  // Without a device the erase is refused before anything reaches a flash: nothing to record.
  if (!journal_ || target >= devices_.currentCount) return true;
  UpgradeJournalRecord record = describe_ ? describe_(target) : UpgradeJournalRecord{};
  record.device = target;
  record.enclosure = RecordKey(record);
  record.imageSize = image_.length;
  record.imageChecksum = image_.checksum;
  record.step = UpgradeStep::Erase;
  std::string error;
  if (!journal_->Write(record, error)) {
    ui_.messageBox("The upgrade journal could not be written (" + error + ").\nNothing was erased.", kMessageCaption,
                   MessageKind::Plain);
    return false;
  }
  journalRecord_ = record;
  return true;
}

void FirmwareUpgrade::JournalStep(UpgradeStep step) {
  if (!journal_ || !journalRecord_) return;
  journalRecord_->step = step;
  // A record that keeps its older step still says the run did not finish; the run goes on.
  std::string ignored;
  journal_->Write(*journalRecord_, ignored);
}

void FirmwareUpgrade::CloseJournal() {
  if (!journal_ || !journalRecord_) return;
  std::string error;
  if (!journal_->Remove(RecordKey(*journalRecord_), journalRecord_->drive, error))
    ui_.messageBox("The upgrade journal could not be removed (" + error +
                       "): the next start will warn about this upgrade although it finished.",
                   kMessageCaption, MessageKind::Plain);
  journalRecord_.reset();
}

UpgradeOutcome FirmwareUpgrade::RunSteps() {
  if (!OpenJournal(state_.UpgradeTarget.load())) return UpgradeOutcome::JournalFailed;

  labelCaption_ = "Firmware Update...";
  state_.ProgressCount = 0;
  progressMaximum_ = ProgressMaximum(eraseExtent_);
  ui_.progress(0, progressMaximum_);
  ShowPanel(true, "Process 1 / 3");
  progressShown_ = true;

  UpgradeOutcome outcome = UpgradeOutcome::Succeeded;
  const bool erased = flash_.EraseSPI(0, PlanUpgrade(image_.length).eraseLength);
  UpdateBar();
  if (!erased) {
    flash_.ShowStatus("SPI Erase Fail.");
    outcome = UpgradeOutcome::EraseFailed;
  } else {
    flash_.ShowStatus("SPI Erase OK");
    ShowPanel(true, "Process 2 / 3");
    JournalStep(UpgradeStep::Program);
    const bool programmed = ProgramImage();
    UpdateBar();
    if (!programmed) {
      flash_.ShowStatus("SPI Program Fail.");
      outcome = UpgradeOutcome::ProgramFailed;
    } else {
      flash_.ShowStatus("SPI Program OK");
      std::vector<std::uint8_t> readBack(image_.bytes.size(), 0);
      ShowPanel(true, "Process 3 / 3");
      JournalStep(UpgradeStep::Verify);
      const bool read = flash_.ReadSPI(0, image_.length, readBack.data());
      UpdateBar();
      if (!read) {
        // A read that could not even open the device leaves no failure text of its own; the final
        // box must not repeat "SPI Program OK" for a run that was never verified.
        if (flash_.statusText() == "SPI Program OK") flash_.ShowStatus("SPI Verify fail !!!");
        outcome = UpgradeOutcome::ReadBackFailed;
      } else if (std::equal(readBack.begin(), readBack.begin() + image_.length, image_.bytes.begin())) {
        flash_.ShowStatus("SPI Verify OK");
        CloseJournal();
      } else {
        flash_.ShowStatus("SPI Verify fail !!!");
        outcome = UpgradeOutcome::VerifyFailed;
      }
    }
  }

  progressShown_ = false;
  ShowPanel(false, panelCaption_);
  if (outcome == UpgradeOutcome::Succeeded) {
    ui_.messageBox(
        "Firmware Upgrade 3/3 completed!\n\nPlease power off this device or the system,"
        "\nand power on it to enable the new firmware!",
        kUpgradeCaption, MessageKind::Exclamation);
  } else {
    ui_.messageBox(flash_.statusText(), kMessageCaption, MessageKind::Plain);
  }
  return outcome;
}

bool FirmwareUpgrade::ProgramImage() {
  // The header's blocks go in last. Until that final write the erased flash holds no signature, so
  // a run cut off anywhere before it reads as "no valid image" to every reader, on any host, with
  // or without the journal; only a flash whose code is all in place gets its header.
  const std::uint32_t headerPart = std::min(image_.length, kHeaderBlocksEnd);
  if (image_.length > headerPart &&
      !flash_.WriteSPI(headerPart, image_.length - headerPart, image_.bytes.data() + headerPart))
    return false;
  return flash_.WriteSPI(0, headerPart, image_.bytes.data());
}

bool FirmwareUpgrade::BackupFlash(unsigned position, std::uint32_t length, std::vector<std::uint8_t>& out) {
  if (state_.OperationBusy.load()) return false;
  const auto hold = HoldDevice(position);
  if (!busyHolder_.empty()) return false;
  LongOperation operation(*this);
  state_.UpgradeTarget = position;
  state_.ProgressCount = 0;
  out.assign((std::uint64_t{length} + kSpiBlockSize - 1) / kSpiBlockSize * kSpiBlockSize, 0);
  const bool read = flash_.ReadSPI(0, length, out.data());
  out.resize(read ? length : 0);
  return read;
}

}  // namespace rur
