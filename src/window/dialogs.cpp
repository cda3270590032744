// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/dialogs.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>

#include "window/window_palette.h"

namespace rur::ui {
namespace {

QMessageBox::Icon IconOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::Information: return QMessageBox::Information;
    case MessageKind::Warning:
    case MessageKind::Exclamation: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Plain: break;
  }
  return QMessageBox::NoIcon;
}

// Qt sizes a box for its text only; a short text under a long caption would have its title cut
// by the window manager. The box is made wide enough for its caption and the title bar's buttons.
// Its text (which may name a device's product) is plain text, in the window's own colours.
void FitCaption(QMessageBox& box) {
  constexpr int kTitleBarButtons = 140;
  box.setTextFormat(Qt::PlainText);
  UseWindowPalette(&box);
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarButtons;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                grid->columnCount());
}

}  // namespace

DialogHooks DesktopDialogs() {
  DialogHooks hooks;
  hooks.messageBox = [](QWidget* parent, const QString& text, const QString& caption, MessageKind kind) {
    QMessageBox box(IconOf(kind), caption, text, QMessageBox::Ok, parent);
    FitCaption(box);
    box.exec();
  };
  hooks.openMessageBox = [](QWidget* parent, const QString& text, const QString& caption, MessageKind kind) {
    auto* box = new QMessageBox(IconOf(kind), caption, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    FitCaption(*box);
    box->open();  // modal to the window, but the event loop and the upgrade go on
  };
  hooks.chooseFile = [](QWidget* parent, const QString& filter, const QString& folder) {
    return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
  };
  hooks.askConfirm = [](QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    FitCaption(box);
    return box.exec() == QMessageBox::Yes;
  };
  hooks.askLeave = [](QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Save);
    FitCaption(box);
    switch (box.exec()) {
      case QMessageBox::Save: return LeaveChoice::Save;
      case QMessageBox::Discard: return LeaveChoice::Discard;
      default: return LeaveChoice::Cancel;
    }
  };
  return hooks;
}

}  // namespace rur::ui
