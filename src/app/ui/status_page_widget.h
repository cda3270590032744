#pragma once
// The status page: the selected enclosure's mode, capacity, members, array state or rebuild
// progress, firmware version, fan and temperature, with the device buttons and the log button.

#include <array>

#include "app/ui/artwork.h"
#include "app/ui/notebook_page.h"

class QFrame;
class QLabel;

namespace rur::ui {

class ImageButton;

class StatusPageWidget : public NotebookPage {
  Q_OBJECT

 public:
  StatusPageWidget(PageHost& host, const DeviceButtonPictures& devicePictures);
  void EngineChanged(UiUpdate what) override;

  void Image0_D1Click();
  void Image0_D2Click();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void ShowLabels();
  void ShowDeviceButtons();

  std::array<ImageButton*, 2> deviceButtons_{};
  std::array<QLabel*, 2> deviceYellow_{};
  std::array<QLabel*, 2> deviceWhite_{};
  ImageButton* Image0_Log = nullptr;
  QLabel* Label17 = nullptr;
  QLabel* Label27 = nullptr;
  QLabel* Label25 = nullptr;
  QLabel* Label51 = nullptr;
  QLabel* Label26 = nullptr;
  QLabel* Label52 = nullptr;
  QLabel* Label18 = nullptr;
  QLabel* Label48 = nullptr;
  QFrame* Panel11 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label7 = nullptr;
};

}  // namespace rur::ui
