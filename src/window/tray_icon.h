// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program in the notification area: an icon in the colour of the worst state of all
// enclosures, a tooltip with a line per enclosure, and a menu to show the window, open the event
// log or quit.

#include <QObject>
#include <QStringList>

#include "model/enclosure_health.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace rur::ui {

// Worst first is the higher value.
enum class TrayState { Normal, Rebuilding, Degraded, Failed };

class TrayIcon : public QObject {
  Q_OBJECT

 public:
  explicit TrayIcon(QObject* parent);
  ~TrayIcon() override;
  // One line per enclosure ("Device1: Normal") and the worst state among them.
  void Show(TrayState worst, const QStringList& lines);
  TrayState state() const { return state_; }
  QString toolTip() const;
  QMenu* menu() const { return menu_; }
  // Whether a notification area exists to show the icon in.
  static bool Available();

 signals:
  void showWindowRequested();
  void eventLogRequested();
  void quitRequested();

 private:
  QSystemTrayIcon* icon_ = nullptr;
  QMenu* menu_ = nullptr;
  TrayState state_ = TrayState::Normal;
  QString toolTip_;
};

// The state an array's text stands for: "Normal", a rebuild, a single disk, a failure, no answer.
TrayState TrayStateOf(const EnclosureHealth& health);
QString TrayStateName(TrayState state);

}  // namespace rur::ui
