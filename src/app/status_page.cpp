// The status page's drawing and the device selection, kept in the engine so that the window and
// the headless monitor behave the same.

#include <algorithm>

#include "app/engine.h"
#include "monitor/device_names.h"
#include "platform/branding.h"

namespace rur {

int Engine::RedrawStatusPage(bool force) {
  if (devices.currentCount == 0 || (!deviceChecked[0] && !deviceChecked[1])) return -1;
  statusPage.Redraw(SelectedRecord(), revisionText, sensorDisplay, force);
  programStarted = false;
  if (statusPage.view().logButtonShown && !logButtonShown) {
    logButtonShown = true;
    ui.update(UiUpdate::PageButtons);
  }
  ui.update(UiUpdate::StatusPage);
  return 0;
}

void Engine::RefreshDeviceNames() {
  if (!deviceChecked[0] && !deviceChecked[1]) return;
  const unsigned device = currentPage == kPageUpgrade ? upgrade.UpgradeSelection.load() : devices.selected;
  devices.active = device;
  const IdentifyBlock& block = previousIdentity[DriveOf(devices.current[device])];
  revisionText = FirmwareRevisionText(block);
  sensorDisplay = SensorDisplay(revisionText, devices.currentInfo[device].hasSensor);
  std::string currentText;
  for (unsigned i = 0; i < devices.currentCount; ++i) {
    const unsigned drive = DriveOf(devices.current[i]);
    const std::string text = DeviceNameText(DeviceProductName(previousIdentity[drive]),
                                            VolumeNamesOfDrive(volumeTable, drive));
    if (i < deviceNameTexts.size()) deviceNameTexts[i] = text;
    if (i == device) currentText = text;
  }
  windowCaption = std::string(ApplicationTitle) + " - " + currentText;
  ui.update(UiUpdate::DeviceNames);
}

void Engine::SelectDevice(unsigned position) {
  if (position >= devices.currentCount) return;
  devices.selected = position;
  RefreshDeviceNames();
  RedrawStatusPage(true);
}

void Engine::SetDeviceChecked(unsigned position, bool ticked) {
  if (position > 1) return;
  const unsigned other = 1 - position;
  deviceChecked[position] = ticked;
  if (ticked) {
    if (!deviceChecked[other]) devices.selected = position;
  } else if (deviceChecked[other]) {
    devices.selected = other;
  } else {
    ui.update(UiUpdate::DeviceControls);
    return;
  }
  devices.currentInfo[position].failureCounter = 0;
  ui.update(UiUpdate::DeviceControls);
  RefreshDeviceNames();
  ui.update(UiUpdate::PageButtons);
  if (currentPage == kPageStatus) RedrawStatusPage(true);
}

}  // namespace rur
