// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/panel_status_bar.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "window/artwork.h"

namespace rur::ui {
namespace {
constexpr int kTextPadding = 18;  // left and right inside a panel, with room for rounding
}  // namespace

PanelStatusBar::PanelStatusBar(const QString& name, std::vector<int> panelWidths, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  setFont(WindowFont(12));
  setPanelWidths(std::move(panelWidths));
}

void PanelStatusBar::setPanelWidths(std::vector<int> panelWidths) {
  widths_ = std::move(panelWidths);
  texts_.clear();
  for (std::size_t i = 0; i < widths_.size(); ++i) texts_.append(QString());
  QWidget::update();
}

void PanelStatusBar::setPanelText(int index, const QString& text) {
  if (index < 0 || index >= texts_.size() || texts_[index] == text) return;
  texts_[index] = text;
  setAccessibleDescription(texts_.join(QStringLiteral("; ")));
  // A wider text moves the panels after it.
  QWidget::update();
}

QString PanelStatusBar::panelText(int index) const {
  return index >= 0 && index < texts_.size() ? texts_[index] : QString();
}

QRect PanelStatusBar::panelRect(int index) const {
  const QFontMetrics metrics(font());
  const auto widthOf = [&](int i) {
    return std::max(widths_[static_cast<std::size_t>(i)], metrics.horizontalAdvance(texts_[i]) + kTextPadding);
  };
  int left = 0;
  for (int i = 0; i < index; ++i) left += widthOf(i);
  const bool last = index == panelCount() - 1;
  const int width = last ? std::max(0, this->width() - left) : widthOf(index);
  return QRect(left, 0, width, height());
}

void PanelStatusBar::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), colours::kSidebar);
  painter.setPen(colours::kLine);
  painter.drawLine(0, 0, width(), 0);
  painter.setFont(font());
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

bool PanelStatusBar::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  // A text cut at the panel's end is shown whole under the mouse.
  const auto* help = static_cast<QHelpEvent*>(event);
  for (int i = 0; i < panelCount(); ++i) {
    if (!panelRect(i).contains(help->pos())) continue;
    if (!texts_[i].isEmpty()) QToolTip::showText(help->globalPos(), texts_[i], this, panelRect(i));
    return true;
  }
  QToolTip::hideText();
  return true;
}

void PanelStatusBar::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  emit doubleClicked();
}

}  // namespace rur::ui
