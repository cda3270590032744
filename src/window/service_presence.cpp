// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/service_presence.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace rur::ui {

bool ServiceServesHost() {
  const QDBusConnection bus = QDBusConnection::systemBus();
  // No system bus (a container, a build machine): nobody serves the host.
  if (!bus.isConnected() || bus.interface() == nullptr) return false;
  return bus.interface()->isServiceRegistered(QStringLiteral("org.roderur.RodeRur1")).value();
}

}  // namespace rur::ui
