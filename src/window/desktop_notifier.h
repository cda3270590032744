// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Desktop notifications of what the monitor logged: alarms, rebuilds done, enclosures found,
// removed, silent or answering again. The window hands each event the engine tells it of (with
// the day log's line) to a notifier; the one on the desktop talks to the session's notification
// service, tests put their own in.

#include <QString>
#include <memory>
#include <optional>

#include "monitor/log_event.h"

namespace rur::ui {

// Both texts are markup, as the notification service reads them (MarkupText).
struct DesktopNotice {
  QString summary;  // in the program's words: "Device1 HDD2 was removed"
  QString body;     // the log line
  bool critical = false;
};

// The notice for an event of the day log, or none for events nobody needs to be told of (rebuild
// steps, banners, the device information that follows a change, and the alarm itself, whose event
// was told with its own line).
std::optional<DesktopNotice> NoticeForEvent(const LogEvent& event);

class DesktopNotifier {
 public:
  virtual ~DesktopNotifier() = default;
  virtual void Notify(const DesktopNotice& notice) = 0;
};

// org.freedesktop.Notifications on the session bus. Calls do not wait for an answer, and without a
// session bus or a notification service nothing happens.
std::unique_ptr<DesktopNotifier> SessionBusNotifier();

}  // namespace rur::ui
