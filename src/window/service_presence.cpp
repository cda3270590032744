// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/service_presence.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "platform/service_bus_names.h"

namespace rur::ui {

bool ServiceServesHost() {
  const QDBusConnection bus = QDBusConnection::systemBus();
  // No system bus (a container, a build machine): nobody serves the host.
  if (!bus.isConnected() || bus.interface() == nullptr) return false;
  return bus.interface()->isServiceRegistered(QString::fromLatin1(bus::kBusName)).value();
}

}  // namespace rur::ui
