// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Upgrade page (page 2): pick an enclosure (Device1, Device2 or one past them), load a firmware image for it and
// write it into the controller's flash (erase, program, verify) while a progress panel counts the
// three steps. The engine does the work; the page shows what it reports and hands it the clicks.

#include <array>

#include "window/artwork.h"
#include "window/notebook_page.h"
#include "window/service_upgrade.h"

class QLabel;
class QLineEdit;
class QProgressBar;

namespace rur::ui {

class ImageButton;

// The open-file dialog's filter. Windows' "*.*" means every file; on Linux that is "*".
inline const QString kFirmwareFileFilter = QStringLiteral("Binary code (*.bin);;All files (*)");

class UpgradePageWidget : public NotebookPage {
  Q_OBJECT

 public:
  UpgradePageWidget(PageHost& host, DeviceButtonPictures devicePictures);
  void EngineChanged(UiUpdate what) override;
  void PageOpened() override { RefreshPickers(); }

  // A device picker (0 Device1, 1 Device2, 2 Device3, ...); the engine ignores it while an upgrade holds a target.
  void PickDevice(unsigned position);
  // "Load": asks for a firmware file and has the engine check it against the picked device.
  void LoadFirmwareFile();
  // "Upgrade": after the user confirmed what changes, erase, program and verify with the loaded file.
  void StartUpgrade();

  // Whether "Upgrade" may be clicked now.
  void SetUpgradeStartable(bool startable);
  // The firmware progress bar.
  void ShowProgress(int position, int maximum);
  // The progress panel with its caption and the label inside it. While it shows, the pickers and
  // the load button rest.
  void ShowUpgradePanel(bool shown, const QString& caption, const QString& label);
  // The name of the chosen firmware file.
  void ShowFirmwareFile(const QString& name);
  // The loaded image's checksum, kept until the next load.
  void ShowChecksum(const QString& text);

 signals:
  // A signal to end the program came during the upgrade and was held until the flash was consistent.
  void endRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Pictures of the pickers and the picked device's firmware version.
  void RefreshPickers();
  void ShowPickers();
  // Where rode-rurd owns the controllers: the upgrade is the service's job, followed here.
  void StartServiceUpgrade(Engine& engine);

  DeviceButtonPictures pictures_;
  std::array<ImageButton*, 2> pickers_{};
  ImageButton* morePicker_ = nullptr;       // "More...": the enclosures past Device2
  QLabel* firmwareVersionLabel_ = nullptr;  // Label54
  QLineEdit* firmwareFileEdit_ = nullptr;   // Edit9
  QLabel* checksumLabel_ = nullptr;         // the loaded image's checksum
  QString lastFolder_;                      // where the last firmware file was chosen
  std::string imagePath_;                   // the image last loaded, for an upgrade the service runs
  ServiceUpgrade* serviceUpgrade_ = nullptr;
  ImageButton* loadButton_ = nullptr;     // Image2_Load
  ImageButton* upgradeButton_ = nullptr;  // Image2_Upgrade
  QLabel* progressPanel_ = nullptr;       // Panel1: "Process n / 3"
  QLabel* progressLabel_ = nullptr;       // Label12
  QProgressBar* progressBar_ = nullptr;   // ProgressBar1
};

}  // namespace rur::ui
