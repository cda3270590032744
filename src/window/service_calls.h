// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Method calls from the window to rode-rurd on the system bus, made as plain messages (no
// introspection of the service's objects first), with the service's refusals as messages a user
// can act on.

#include <QDBusMessage>
#include <QString>
#include <QVariantList>

#include <string>

namespace rur::ui {

constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

struct ServiceCall {
  QString object;         // the object's path
  const char* interface;  // one of the service's interfaces (platform/service_bus_names.h)
  QString method;
  QVariantList arguments;
  // Polkit may ask the user: the call may wait that long, and the window answers meanwhile.
  bool interactive = false;
  int timeoutMs = -1;  // -1: the bus's default
};

// The reply, or false with the service's message in `error` ("not authorized: ..." for a refusal
// of polkit); `reply` carries the error's name either way.
bool CallService(const ServiceCall& call, QDBusMessage& reply, std::string& error);

}  // namespace rur::ui
