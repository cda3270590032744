#pragma once
// The Upgrade page (page 2): the firmware upgrade of the selected enclosure. The page's controls
// are still to come; the window already routes the engine's upgrade reports here.

#include "app/ui/notebook_page.h"

namespace rur::ui {

class UpgradePageWidget : public NotebookPage {
  Q_OBJECT

 public:
  explicit UpgradePageWidget(TForm1& form);

  // The firmware progress bar.
  void ShowProgress(int /*position*/, int /*maximum*/) {}
  // The progress panel with its caption and the label inside it.
  void ShowUpgradePanel(bool /*shown*/, const QString& /*caption*/, const QString& /*label*/) {}
  // The name of the chosen firmware file.
  void ShowFirmwareFile(const QString& /*name*/) {}
};

}  // namespace rur::ui
