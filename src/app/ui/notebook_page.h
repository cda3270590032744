#pragma once
// One page of the main window's page book. Each page reads what it shows from the engine when the
// engine says that part changed, and learns when the user opens it.

#include <QLabel>
#include <QWidget>

#include "platform/user_interface.h"

namespace rur::ui {

class TForm1;

constexpr int kPageWidth = 417;
constexpr int kPageHeight = 321;

class NotebookPage : public QWidget {
  Q_OBJECT

 public:
  NotebookPage(const QString& name, TForm1& form);
  // A part of the engine's state changed (only called once a program is attached).
  virtual void EngineChanged(UiUpdate /*what*/) {}
  // The user opened the page with its navigation button.
  virtual void PageOpened() {}

 protected:
  // A named label of the page in the window font.
  QLabel* AddLabel(const QString& name, const QString& text, QRect geometry, int pixelSize = 13, bool bold = false);

  TForm1& form_;
};

}  // namespace rur::ui
