// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture that acts as a button: it reports clicks and double-clicks, fades while disabled,
// brightens under the mouse and, where asked, sinks 2 pixels while a mouse button holds it down.
// It takes the keyboard focus with Tab, shows a frame while it has it, and Enter or Space
// activate it; screen readers know it as a button by its accessible name.

#include <QLabel>

namespace rur::ui {

class ImageButton : public QLabel {
  Q_OBJECT

 public:
  // caption: what a screen reader says for the button; description: what it does.
  ImageButton(const QString& name, QWidget* parent, const QString& caption = QString(),
              const QString& description = QString());
  // Mouse-down moves the picture 2 pixels down and mouse-up moves it back, for any mouse button.
  void setPressedLook(bool on) { pressedLook_ = on; }

 signals:
  void clicked();
  void doubleClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Sink();
  void Rise();

  bool pressedLook_ = false;
  bool hovered_ = false;
  int buttonsDown_ = 0;
};

// A hidden picture source placed beside a button, as the pages keep their yellow and white looks.
QLabel* PictureSource(const QString& name, const QPixmap& picture, QWidget* parent);

}  // namespace rur::ui
