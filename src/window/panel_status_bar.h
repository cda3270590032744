// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's status bar: panels side by side, each at least its design width and wider
// when its text needs it, the last one taking the rest of the width (its text elided, in full as
// the tooltip). A double-click anywhere on it is reported.

#include <QStringList>
#include <QWidget>
#include <vector>

namespace rur::ui {

class PanelStatusBar : public QWidget {
  Q_OBJECT

 public:
  PanelStatusBar(const QString& name, std::vector<int> panelWidths, QWidget* parent);
  void setPanelText(int index, const QString& text);
  // A new set of panels (their design widths), all empty.
  void setPanelWidths(std::vector<int> panelWidths);
  QString panelText(int index) const;
  int panelCount() const { return static_cast<int>(widths_.size()); }
  // The rectangle panel `index` occupies.
  QRect panelRect(int index) const;

 signals:
  void doubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  std::vector<int> widths_;
  QStringList texts_;
};

}  // namespace rur::ui
