// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/page_artwork.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace rur::ui {
namespace {

using namespace colours;

const QColor kShadow{0x10, 0x20, 0x30, 34};
const QColor kOnYellow{0x3B, 0x2A, 0x00};

QPixmap Blank(int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void Prepare(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
}

// The rounded face with a soft shadow one pixel below it; the face leaves that pixel row free.
QPainterPath Face(QPainter& painter, int width, int height, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(QRectF(0.5, 0.5, width - 1, height - 2), radius, radius);
  painter.save();
  painter.translate(0, 1);
  painter.fillPath(path, kShadow);
  painter.restore();
  return path;
}

}  // namespace

QPixmap ActionButtonPicture(const QString& caption, int width, ActionLook look) {
  QPixmap pixmap = Blank(width, kActionButtonHeight);
  QPainter painter(&pixmap);
  Prepare(painter);
  const QPainterPath path = Face(painter, width, kActionButtonHeight, 7);
  if (look == ActionLook::Primary) {
    QLinearGradient fill(0, 0, 0, kActionButtonHeight);
    fill.setColorAt(0, kTeal.lighter(115));
    fill.setColorAt(1, kTeal);
    painter.fillPath(path, fill);
    painter.setPen(Qt::white);
  } else {
    painter.fillPath(path, Qt::white);
    painter.setPen(QPen(kLine, 1));
    painter.drawPath(path);
    painter.setPen(kInk);
  }
  painter.setFont(WindowFont(12, true));
  painter.drawText(QRectF(0, 0, width, kActionButtonHeight - 2), Qt::AlignCenter, caption);
  return pixmap;
}

QPixmap TabButtonPicture(const QString& caption, int width, ButtonLook look) {
  QPixmap pixmap = Blank(width, kTabButtonHeight);
  QPainter painter(&pixmap);
  Prepare(painter);
  const QPainterPath path = Face(painter, width, kTabButtonHeight, 7);
  if (look == ButtonLook::Yellow) {
    QLinearGradient fill(0, 0, 0, kTabButtonHeight);
    fill.setColorAt(0, QColor(0xFF, 0xDC, 0x66));
    fill.setColorAt(1, kAmber);
    painter.fillPath(path, fill);
    painter.setPen(QPen(kAmberDeep, 1));
    painter.drawPath(path);
    painter.setPen(kOnYellow);
  } else {
    painter.fillPath(path, Qt::white);
    painter.setPen(QPen(kLine, 1));
    painter.drawPath(path);
    painter.setPen(kInk);
  }
  // A caption wider than its tab takes a smaller font rather than losing its ends.
  QFont font = WindowFont(12, true);
  if (QFontMetrics(font).horizontalAdvance(caption) > width - 6) font = WindowFont(11, true);
  painter.setFont(font);
  painter.drawText(QRectF(0, 0, width, kTabButtonHeight - 2), Qt::AlignCenter, caption);
  return pixmap;
}

QPixmap ListButtonPicture(ListAction action) {
  QPixmap pixmap = Blank(kListButtonSide, kListButtonSide);
  QPainter painter(&pixmap);
  Prepare(painter);
  const QPainterPath path = Face(painter, kListButtonSide, kListButtonSide, 5);
  painter.fillPath(path, Qt::white);
  painter.setPen(QPen(kLine, 1));
  painter.drawPath(path);
  const QColor colour = action == ListAction::Add ? kTeal : QColor(0xC0, 0x39, 0x2B);
  painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
  const qreal middle = (kListButtonSide - 1) / 2.0;
  painter.drawLine(QPointF(6, middle), QPointF(kListButtonSide - 6, middle));
  if (action == ListAction::Add)
    painter.drawLine(QPointF(kListButtonSide / 2.0, middle - 5), QPointF(kListButtonSide / 2.0, middle + 5));
  return pixmap;
}

}  // namespace rur::ui
