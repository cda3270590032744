// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/image_button.h"

#include <QMouseEvent>
#include <QPainter>

namespace rur::ui {
namespace {
constexpr int kPressedOffset = 2;
constexpr qreal kDisabledOpacity = 0.45;
}  // namespace

ImageButton::ImageButton(const QString& name, QWidget* parent) : QLabel(parent) {
  setObjectName(name);
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover, true);
}

void ImageButton::Sink() { move(x(), y() + kPressedOffset); }
void ImageButton::Rise() { move(x(), y() - kPressedOffset); }

void ImageButton::mousePressEvent(QMouseEvent* event) {
  ++buttonsDown_;
  if (pressedLook_) Sink();
  event->accept();
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event) {
  if (buttonsDown_ == 0) return;  // the press went to another widget
  --buttonsDown_;
  if (pressedLook_) Rise();
  event->accept();
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void ImageButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // Qt delivers the second press of a double-click as this event; it is still a press.
  ++buttonsDown_;
  if (pressedLook_) Sink();
  event->accept();
  if (event->button() == Qt::LeftButton) emit doubleClicked();
}

void ImageButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  QLabel::update();
  QLabel::enterEvent(event);
}

void ImageButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  QLabel::update();
  QLabel::leaveEvent(event);
}

void ImageButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (!isEnabled() && buttonsDown_ > 0) {
      // A button disabled while held down gets no release: put it back now.
      if (pressedLook_) move(x(), y() - kPressedOffset * buttonsDown_);
      buttonsDown_ = 0;
    }
  }
  QLabel::changeEvent(event);
}

void ImageButton::paintEvent(QPaintEvent* /*event*/) {
  QPixmap shown = pixmap();
  if (shown.isNull()) return;
  if (hovered_ && isEnabled()) {
    // Tint only the picture's own pixels, so its rounded corners stay clear.
    QPainter tint(&shown);
    tint.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    tint.fillRect(shown.rect(), QColor(0x16, 0x7D, 0x9A, 24));
  }
  QPainter painter(this);
  painter.setOpacity(isEnabled() ? 1.0 : kDisabledOpacity);
  painter.drawPixmap(0, 0, shown);
}

QLabel* PictureSource(const QString& name, const QPixmap& picture, QWidget* parent) {
  auto* source = new QLabel(parent);
  source->setObjectName(name);
  source->setPixmap(picture);
  source->resize(picture.size());
  source->hide();
  return source;
}

}  // namespace rur::ui
