// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status page: the selected enclosure's mode, capacity, members, array state or rebuild
// progress, firmware version, fan and temperature, with the device buttons and the log button.

#include <array>

#include "window/artwork.h"
#include "window/notebook_page.h"

class QFrame;
class QLabel;

namespace rur::ui {

class ImageButton;

class StatusPageWidget : public NotebookPage {
  Q_OBJECT

 public:
  StatusPageWidget(PageHost& host, const DeviceButtonPictures& devicePictures);
  void EngineChanged(UiUpdate what) override;

  // A device button: the page shows that enclosure (0 Device1, 1 Device2, ...).
  void SelectDevice(unsigned position);
  // The event log has something to show: the log button appears.
  void ShowLogButton();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void ShowLabels();
  void ShowDeviceButtons();
  void ShowOtherDevicesMenu();

  std::array<ImageButton*, 2> deviceButtons_{};
  std::array<QLabel*, 2> deviceYellow_{};
  std::array<QLabel*, 2> deviceWhite_{};
  ImageButton* otherDevicesButton_ = nullptr;  // Device3 and on, from a menu
  ImageButton* logButton_ = nullptr;           // Image0_Log
  QLabel* arrayModeLabel_ = nullptr;           // Label17
  QLabel* redundancyNoteLabel_ = nullptr;      // under the mode of a striped or JBOD array
  QLabel* systemCapacityLabel_ = nullptr;      // Label27
  QLabel* hdd1CapacityLabel_ = nullptr;        // Label25
  QLabel* hdd1ModelLabel_ = nullptr;           // Label51
  QLabel* hdd2CapacityLabel_ = nullptr;        // Label26
  QLabel* hdd2ModelLabel_ = nullptr;           // Label52
  QLabel* arrayStateLabel_ = nullptr;          // Label18: state, or rebuild progress and direction
  QLabel* firmwareLabel_ = nullptr;            // Label48
  QFrame* sensorPanel_ = nullptr;              // Panel11: fan speed and temperature
  QLabel* fanLabel_ = nullptr;                 // Label5
  QLabel* temperatureLabel_ = nullptr;         // Label7
  QLabel* noticeLabel_ = nullptr;              // why the values shown are not current
};

}  // namespace rur::ui
