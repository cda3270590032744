// SPDX-License-Identifier: GPL-3.0-or-later
// What the pages show and the rules of moving between them: the status page's drawing, the device
// selection, the upgrade device and the SMART page, shared by the window and the headless tools.

#include <algorithm>

#include "app/engine.h"
#include "monitor/device_names.h"
#include "platform/branding.h"
#include "transport/commands.h"

namespace rur {

bool Engine::OpenPage(int page) {
  if (!NavigationAllowed()) return false;
  currentPage_ = page;
  switch (page) {
    case kPageStatus:
      devices_.active = devices_.selected;
      RedrawStatusPage(false);
      break;
    case kPageUpgrade:
      // The upgrade aims at the enclosure the user was looking at; the view stays on it.
      firmware_.PickDevice(devices_.selected);
      firmware_.KeepPickPresent();
      SelectDevice(firmware_.pickedDevice());
      break;
    case kPageSmart: EvaluateSmartPage(); break;
    default: break;
  }
  return true;
}

namespace {

bool AnyChecked(const std::array<bool, kMaxDevices>& checked, unsigned count) {
  for (unsigned i = 0; i < count && i < kMaxDevices; ++i)
    if (checked[i]) return true;
  return false;
}

}  // namespace

int Engine::RedrawStatusPage(bool force) {
  if (devices_.currentCount == 0 || !AnyChecked(deviceChecked_, devices_.currentCount)) return -1;
  statusPage_.Redraw(devices_.selected, SelectedRecord(), revisionText_, sensorDisplay_, force || redrawWhole_,
                     Currency(devices_.selected));
  redrawWhole_ = false;
  statusPage_.view().firmwareValid = devices_.currentInfo[std::min(devices_.selected, kMaxDevices - 1)].firmwareValid;
  programStarted_ = false;
  if (statusPage_.view().logButtonShown && !logAvailable_) {
    logAvailable_ = true;
    ui_.eventLogAvailable();
  }
  ui_.update(UiUpdate::StatusPage);
  return 0;
}

void Engine::RefreshDeviceNames() {
  if (!AnyChecked(deviceChecked_, devices_.currentCount)) return;
  const unsigned device = currentPage_ == kPageUpgrade ? firmware_.pickedDevice() : devices_.selected;
  devices_.active = device;
  const IdentifyBlock& block = identity_[DriveOf(devices_.current[device])];
  revisionText_ = FirmwareRevisionText(block);
  sensorDisplay_ = SensorDisplay(revisionText_, devices_.currentInfo[device].hasSensor);
  std::string currentText;
  for (unsigned i = 0; i < devices_.currentCount; ++i) {
    const unsigned drive = DriveOf(devices_.current[i]);
    const std::string text =
        rur::DeviceNameText(DeviceProductName(identity_[drive]), VolumeNamesOfDrive(volumeTable_, drive));
    if (i < deviceNameTexts_.size()) deviceNameTexts_[i] = text;
    if (i == device) currentText = text;
  }
  ui_.title(std::string(ApplicationTitle) + " - " + currentText);
  ui_.update(UiUpdate::DeviceNames);
}

void Engine::SelectDevice(unsigned position) {
  if (position >= devices_.currentCount) return;
  devices_.selected = position;
  RefreshDeviceNames();
  RedrawStatusPage(true);
}

void Engine::SetDeviceChecked(unsigned position, bool ticked) {
  if (position >= kMaxDevices) return;
  deviceChecked_[position] = ticked;
  if (ticked) {
    if (!deviceChecked_[devices_.selected]) devices_.selected = position;
  } else if (devices_.selected == position || !deviceChecked_[devices_.selected]) {
    // The page moves to another ticked device; with none ticked it stays as it is.
    unsigned other = 0;
    while (other < devices_.currentCount && !deviceChecked_[other]) ++other;
    if (other >= devices_.currentCount) {
      ui_.update(UiUpdate::DeviceControls);
      return;
    }
    devices_.selected = other;
  }
  devices_.currentInfo[position].failureCounter = 0;
  ui_.update(UiUpdate::DeviceControls);
  RefreshDeviceNames();
  if (currentPage_ == kPageStatus) RedrawStatusPage(true);
}

bool Engine::LoadFirmwareImage(const std::string& path, bool allowOtherImage) {
  if (!firmware_.LoadImage(path, UpgradeFacts(firmware_.pickedDevice()))) return false;
  firmware_.AllowOtherImage(allowOtherImage);
  return true;
}

bool Engine::LoadFirmwareImage(const std::string& name, ImageFileReader& reader, bool allowOtherImage) {
  if (!firmware_.LoadImage(name, UpgradeFacts(firmware_.pickedDevice()), reader)) return false;
  firmware_.AllowOtherImage(allowOtherImage);
  return true;
}

bool Engine::PickUpgradeDevice(unsigned position) {
  if (upgrade_.targetSet()) return false;
  const bool changed = firmware_.PickDevice(position);
  firmware_.KeepPickPresent();
  if (currentPage_ == kPageUpgrade) SelectDevice(firmware_.pickedDevice());
  return changed;
}

void Engine::SmartRead(std::uint8_t kind) {
  // The controller belongs to a running upgrade; the pass is skipped.
  if (upgrade_.targetSet() || devices_.currentCount == 0) return;
  smart_.Read(kind, channel_, devices_, records_);
  if (kind == SMART_READ_DATA) WatchDiskHealth();
  if (kind == SMART_READ_DATA && currentPage_ == kPageSmart) EvaluateSmartPage();
}

void Engine::ReadSmartNow() {
  SmartRead(SMART_READ_THRESHOLDS);
  SmartRead(SMART_READ_DATA);
}

void Engine::EvaluateSmartPage() {
  const StatusPageView& view = statusPage_.view();
  smart_.Evaluate(devices_.selected, smart_.bay() == 0 ? view.hdd1Model.text : view.hdd2Model.text);
  ui_.update(UiUpdate::SmartPage);
}

void Engine::SelectSmartBay(unsigned bay) {
  if (upgrade_.targetSet()) return;
  smart_.SelectBay(bay);
  EvaluateSmartPage();
}

void Engine::SmartTick() {
  SmartTickInput input;
  input.held = detection_.changePending() || detection_.running() || UpgradeRunning() || closing_;
  input.smartPageCurrent = currentPage_ == kPageSmart;
  input.requestFlags = dispatcher_.flags();
  bool countdownChanged = false;
  dispatcher_.Raise(smart_.Tick(input, countdownChanged));
  if (countdownChanged) ui_.smartCountdown(smart_.countdownText());
}

}  // namespace rur
