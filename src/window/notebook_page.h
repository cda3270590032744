// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One page of the main window's page book. Each page reads what it shows from the engine when the
// engine says that part changed, and learns when the user opens it. A page knows the window only
// through PageHost, and the pictures it shares with other pages are handed to it.

#include <QLabel>
#include <QWidget>

#include "platform/user_interface.h"
#include "window/dialogs.h"

namespace rur {
class Engine;
class Program;
}  // namespace rur

namespace rur::ui {

constexpr int kPageWidth = 417;
constexpr int kPageHeight = 321;

// What a page needs from the window that holds it.
class PageHost {
 public:
  // Both null until a program is attached.
  virtual Program* program() = 0;
  virtual Engine* engine() = 0;
  virtual const DialogHooks& dialogs() const = 0;
  // Where the program reports: status bar panels, message boxes, updates.
  virtual Ui& sink() = 0;
  virtual void SetPanel(int index, const QString& text) = 0;
  virtual void OpenLogViewer() = 0;

 protected:
  ~PageHost() = default;
};

class NotebookPage : public QWidget {
  Q_OBJECT

 public:
  NotebookPage(const QString& name, PageHost& host);
  // A part of the engine's state changed (only called once a program is attached).
  virtual void EngineChanged(UiUpdate /*what*/) {}
  // The user opened the page with its navigation button.
  virtual void PageOpened() {}

 protected:
  // A named label of the page in the window font.
  QLabel* AddLabel(const QString& name, const QString& text, QRect geometry, int pixelSize = 13, bool bold = false);

  PageHost& host_;
};

}  // namespace rur::ui
