// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/service_log.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include "monitor/event_log.h"
#include "platform/service_bus_names.h"
#include "window/qt_text.h"

namespace rur::ui {

bool FetchServiceDayLog(std::vector<std::string>& lines, std::string& error) {
  QDBusInterface manager(QString::fromLatin1(bus::kBusName), QString::fromLatin1(bus::kManagerPath),
                         QString::fromLatin1(bus::kManagerInterface), QDBusConnection::systemBus());
  const QDBusReply<QString> text = manager.call(QStringLiteral("GetLog"), QString());
  if (!text.isValid()) {
    error = Std(text.error().message());
    return false;
  }
  lines = SplitLogLines(Std(text.value()));
  return true;
}

}  // namespace rur::ui
