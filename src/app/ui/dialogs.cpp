// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

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

}  // namespace

DialogHooks DesktopDialogs() {
  DialogHooks hooks;
  hooks.messageBox = [](QWidget* parent, const QString& text, const QString& caption, MessageKind kind) {
    QMessageBox box(IconOf(kind), caption, text, QMessageBox::Ok, parent);
    box.exec();
  };
  hooks.openMessageBox = [](QWidget* parent, const QString& text, const QString& caption, MessageKind kind) {
    auto* box = new QMessageBox(IconOf(kind), caption, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();  // modal to the window, but the event loop and the upgrade go on
  };
  hooks.chooseFile = [](QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
  };
  return hooks;
}

}  // namespace rur::ui
