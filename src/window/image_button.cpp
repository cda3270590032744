// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/image_button.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace rur::ui {
namespace {
constexpr int kPressedOffset = 2;
constexpr qreal kDisabledOpacity = 0.45;
const QColor kFocusFrame{0x16, 0x7D, 0x9A};

// A picture button reads as a push button to assistive tools, not as a label.
class ImageButtonAccessible : public QAccessibleWidget {
 public:
  explicit ImageButtonAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Button) {
    addControllingSignal(QStringLiteral("clicked()"));
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& action) override {
    if (action == pressAction() && widget()->isEnabled()) QMetaObject::invokeMethod(widget(), "clicked");
  }
};

QAccessibleInterface* ImageButtonAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("rur::ui::ImageButton") && object && object->isWidgetType())
    return new ImageButtonAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

}  // namespace

ImageButton::ImageButton(const QString& name, QWidget* parent, const QString& caption, const QString& description)
    : QLabel(parent) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(ImageButtonAccessibleFactory);
    return true;
  }();
  (void)factoryInstalled;
  setObjectName(name);
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover, true);
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(caption);
  setAccessibleDescription(description);
}

void ImageButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (!event->isAutoRepeat()) emit clicked();
      event->accept();
      return;
    // The arrows walk the buttons as Tab and Shift+Tab do (the navigation column, the pickers).
    case Qt::Key_Down:
    case Qt::Key_Right:
      focusNextPrevChild(true);
      event->accept();
      return;
    case Qt::Key_Up:
    case Qt::Key_Left:
      focusNextPrevChild(false);
      event->accept();
      return;
    default: QLabel::keyPressEvent(event);
  }
}

void ImageButton::focusInEvent(QFocusEvent* event) {
  QLabel::update();
  QLabel::focusInEvent(event);
}

void ImageButton::focusOutEvent(QFocusEvent* event) {
  QLabel::update();
  QLabel::focusOutEvent(event);
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
  if (hasFocus()) {
    painter.setOpacity(1.0);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(kFocusFrame, 2, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(shown.rect()).adjusted(1, 1, -1, -1), 4, 4);
  }
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
