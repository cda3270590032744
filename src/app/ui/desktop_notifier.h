// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Desktop notifications of what the monitor logged: alarms, rebuilds done, enclosures found,
// removed, silent or answering again. The window hands each new day-log line to a notifier; the
// one on the desktop talks to the session's notification service, tests put their own in.

#include <QString>
#include <memory>
#include <optional>

namespace rur::ui {

struct DesktopNotice {
  QString summary;  // in the program's words: "Device1 HDD2 was removed"
  QString body;     // the log line
  bool critical = false;
};

// The notice for a day-log line, or none for lines nobody needs to be told of (rebuild steps,
// banners, the device information that follows a change).
std::optional<DesktopNotice> NoticeForLogLine(const QString& line);

class DesktopNotifier {
 public:
  virtual ~DesktopNotifier() = default;
  virtual void Notify(const DesktopNotice& notice) = 0;
};

// org.freedesktop.Notifications on the session bus. Calls do not wait for an answer, and without a
// session bus or a notification service nothing happens.
std::unique_ptr<DesktopNotifier> SessionBusNotifier();

}  // namespace rur::ui
