// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's dialogs behind replaceable functions, so tests can answer them without a person in
// front of the screen.

#include <QString>
#include <functional>

#include "platform/user_interface.h"

class QWidget;

namespace rur::ui {

enum class LeaveChoice { Save, Discard, Cancel };

struct DialogHooks {
  using MessageFunction =
      std::function<void(QWidget* parent, const QString& text, const QString& caption, MessageKind kind)>;
  // A modal box with an OK button: returns when the user has closed it.
  MessageFunction messageBox;
  // The same box, but it returns at once and stays open until the user closes it: while a firmware
  // upgrade runs nothing may wait for a click, or the flash would stay half-written meanwhile.
  MessageFunction openMessageBox;
  // An open-file dialog starting in folder; the chosen path, or empty when the user cancelled.
  std::function<QString(QWidget* parent, const QString& filter, const QString& folder)> chooseFile;
  // Leaving a page with unsaved edits: what the user wants done with them.
  std::function<LeaveChoice(QWidget* parent, const QString& text, const QString& caption)> askLeave;
  // A question with Yes and No, No the default: true for Yes.
  std::function<bool(QWidget* parent, const QString& text, const QString& caption)> askConfirm;
};

// The real dialogs.
DialogHooks DesktopDialogs();

}  // namespace rur::ui
