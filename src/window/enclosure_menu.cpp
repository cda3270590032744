// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/enclosure_menu.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "app/engine.h"
#include "monitor/status_page_model.h"
#include "window/qt_text.h"

namespace rur::ui {
namespace {

QString OneLine(const std::string& text) { return Q(text).replace(QLatin1Char('\n'), QLatin1Char(' ')); }

}  // namespace

QString EnclosureStateLine(const Enclosure& enclosure) {
  QString line = OneLine(ArrayStateText(enclosure.status, enclosure.answering));
  const EnclosureHealth& health = enclosure.health;
  if (health.fanFault) line += QStringLiteral(", fan %1 RPM").arg(enclosure.status.sensors->fanRpm);
  if (health.overheated) line += QStringLiteral(", %1 \u00B0C").arg(enclosure.status.sensors->temperatureC);
  if (health.firmwareInvalid) line += QStringLiteral(", no valid firmware");
  return line;
}

QStringList MoreEnclosuresEntries(const Engine& engine) {
  QStringList entries;
  for (unsigned i = kEnclosureButtons; i < engine.deviceCount(); ++i) {
    QString entry = QStringLiteral("Device%1  %2").arg(i + 1).arg(OneLine(engine.DeviceNameText(i)));
    if (const Enclosure* enclosure = engine.enclosure(i))
      entry += QStringLiteral(": ") + EnclosureStateLine(*enclosure);
    entries << entry;
  }
  return entries;
}

void ShowMoreEnclosuresMenu(QWidget* button, const Engine& engine, unsigned current,
                            const std::function<void(unsigned)>& choose) {
  QMenu menu(button);
  menu.setObjectName(QStringLiteral("otherDevicesMenu"));
  unsigned position = kEnclosureButtons;
  for (QString entry : MoreEnclosuresEntries(engine)) {
    // A product name's "&" is shown, not taken as a shortcut mark.
    QAction* action = menu.addAction(entry.replace(QLatin1Char('&'), QStringLiteral("&&")));
    action->setCheckable(true);
    action->setChecked(current == position);
    QObject::connect(action, &QAction::triggered, button, [choose, position] { choose(position); });
    ++position;
  }
  menu.exec(button->mapToGlobal(QPoint(0, button->height())));
}

}  // namespace rur::ui
