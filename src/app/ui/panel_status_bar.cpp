// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/panel_status_bar.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/ui/artwork.h"

namespace rur::ui {

PanelStatusBar::PanelStatusBar(const QString& name, std::vector<int> panelWidths, QWidget* parent)
    : QWidget(parent), widths_(std::move(panelWidths)) {
  setObjectName(name);
  for (std::size_t i = 0; i < widths_.size(); ++i) texts_.append(QString());
}

void PanelStatusBar::setPanelText(int index, const QString& text) {
  if (index < 0 || index >= texts_.size() || texts_[index] == text) return;
  texts_[index] = text;
  QWidget::update(panelRect(index));
}

QString PanelStatusBar::panelText(int index) const {
  return index >= 0 && index < texts_.size() ? texts_[index] : QString();
}

QRect PanelStatusBar::panelRect(int index) const {
  int left = 0;
  for (int i = 0; i < index; ++i) left += widths_[static_cast<std::size_t>(i)];
  const bool last = index == panelCount() - 1;
  const int width = last ? std::max(0, this->width() - left) : widths_[static_cast<std::size_t>(index)];
  return QRect(left, 0, width, height());
}

void PanelStatusBar::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), colours::kSidebar);
  painter.setPen(colours::kLine);
  painter.drawLine(0, 0, width(), 0);
  painter.setFont(WindowFont(12));
  for (int i = 0; i < panelCount(); ++i) {
    const QRect area = panelRect(i);
    if (i > 0) {
      painter.setPen(colours::kLine);
      painter.drawLine(area.left(), 4, area.left(), height() - 4);
    }
    painter.setPen(colours::kInk);
    const QRect textArea = area.adjusted(5, 1, -4, 0);
    const QString shown = painter.fontMetrics().elidedText(texts_[i], Qt::ElideRight, textArea.width());
    painter.drawText(textArea, Qt::AlignVCenter | Qt::AlignLeft, shown);
  }
}

void PanelStatusBar::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  emit doubleClicked();
}

}  // namespace rur::ui
