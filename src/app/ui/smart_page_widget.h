#pragma once
// The SMART page: the graded attributes of one bay of the selected enclosure in an owner-drawn
// grid, the bay buttons, the heading, the verdict and the countdown to the next read.

#include <array>

#include "app/ui/notebook_page.h"
#include "smart/evaluate_smart.h"

class QLabel;
class QTableWidget;

namespace rur::ui {

class ImageButton;

class SmartPageWidget : public NotebookPage {
  Q_OBJECT

 public:
  explicit SmartPageWidget(PageHost& host);
  void EngineChanged(UiUpdate what) override;

  void Image5_HDD1Click();
  void Image5_HDD2Click();
  void StringGrid3SelectCell(int column, int row);
  void Label21DblClick();
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
  QLabel* Label21 = nullptr;
  QLabel* Label22 = nullptr;
  QLabel* Label23 = nullptr;
  QTableWidget* StringGrid4 = nullptr;
  QTableWidget* StringGrid3 = nullptr;
  std::array<Rgb, kSmartEntryCount> rowColours_{};
};

}  // namespace rur::ui
