// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/service_calls.h"

#include <QDBusConnection>

#include "platform/service_bus_names.h"
#include "window/qt_text.h"

namespace rur::ui {

bool CallService(const ServiceCall& call, QDBusMessage& reply, std::string& error) {
  QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(bus::kBusName), call.object,
                                                        QString::fromLatin1(call.interface), call.method);
  message.setArguments(call.arguments);
  message.setInteractiveAuthorizationAllowed(call.interactive);
  reply =
      QDBusConnection::systemBus().call(message, call.interactive ? QDBus::BlockWithGui : QDBus::Block, call.timeoutMs);
  if (reply.type() == QDBusMessage::ReplyMessage) return true;
  error = Std(reply.errorMessage());
  if (reply.errorName() == QString::fromLatin1(bus::kErrorPrefix) + QStringLiteral("NotAuthorized"))
    error = "not authorized: " + error;
  return false;
}

}  // namespace rur::ui
