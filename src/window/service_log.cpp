// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/service_log.h"

#include "monitor/event_log.h"
#include "platform/service_bus_names.h"
#include "window/qt_text.h"
#include "window/service_calls.h"

namespace rur::ui {

bool FetchServiceDayLog(std::vector<std::string>& lines, std::string& error) {
  QDBusMessage reply;
  if (!CallService(
          {QString::fromLatin1(bus::kManagerPath), bus::kManagerInterface, QStringLiteral("GetLog"), {QString()}},
          reply, error))
    return false;
  lines = SplitLogLines(Std(reply.arguments().value(0).toString()));
  return true;
}

}  // namespace rur::ui
