// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The SMART page: the graded attributes of one bay of the selected enclosure in an owner-drawn
// grid, the bay buttons, the heading, the verdict and the countdown to the next read.

#include <array>

#include "smart/evaluate_smart.h"
#include "window/notebook_page.h"

class QLabel;
class QTableWidget;

namespace rur::ui {

class ImageButton;

class SmartPageWidget : public NotebookPage {
  Q_OBJECT

 public:
  explicit SmartPageWidget(PageHost& host);
  void EngineChanged(UiUpdate what) override;

  // A bay button: the grid shows that member (0 HDD1, 1 HDD2).
  void SelectBay(unsigned bay);
  // The user moved to a cell of the attribute grid: its name or raw value goes to the status bar.
  void SelectAttributeCell(int column, int row);
  // A double-click on the countdown writes the SMART pages read so far into dump files.
  void DumpSmartData();
  // The time to the next SMART read.
  void ShowCountdown(const QString& text);
  // The colour of a grid row as the painter uses it.
  Rgb rowColour(int row) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowModel();
  void ShowBayButtons(unsigned bay);

  std::array<ImageButton*, 2> bayButtons_{};
  std::array<QLabel*, 2> bayYellow_{};
  std::array<QLabel*, 2> bayWhite_{};
  QLabel* countdownLabel_ = nullptr;       // Label21
  QLabel* headingLabel_ = nullptr;         // Label22
  QLabel* verdictLabel_ = nullptr;         // Label23
  QTableWidget* headerGrid_ = nullptr;     // StringGrid4
  QTableWidget* attributeGrid_ = nullptr;  // StringGrid3
  std::array<Rgb, kSmartEntryCount> rowColours_{};
};

}  // namespace rur::ui
