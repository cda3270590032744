// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's modal dialogs behind replaceable functions, so tests can answer them without a
// person in front of the screen.

#include <QString>
#include <functional>

#include "platform/user_interface.h"

class QWidget;

namespace rur::ui {

struct DialogHooks {
  // A modal box with an OK button.
  std::function<void(QWidget* parent, const QString& text, const QString& caption, MessageKind kind)> messageBox;
  // An open-file dialog; the chosen path, or empty when the user cancelled.
  std::function<QString(QWidget* parent, const QString& filter)> chooseFile;
};

// The real dialogs.
DialogHooks DesktopDialogs();

}  // namespace rur::ui
