// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl monitor as a system service: it tells the service manager when it is ready (after the
// first detection), how many enclosures it watches and when it stops, and gives its lines the
// journal's priorities when its output goes to the journal: alarms as errors, the log's
// transitions as notices, rebuild progress as information.

#include <string>

#include "app/engine.h"
#include "platform/journal_stream.h"
#include "platform/service_notifier.h"

namespace rur::cli {

class MonitorService {
 public:
  MonitorService(ServiceNotifier notifier, bool outputIsJournal)
      : notifier_(std::move(notifier)), journal_(outputIsJournal) {}

  // After each slice of the run: READY=1 once the first detection is over, STATUS= whenever the
  // number of enclosures changes.
  void Update(const Engine& engine);
  void Stopping();
  // Whether a service manager started it (it listens for readiness, or the output is the journal).
  bool managed() const { return notifier_.active() || journal_; }

  std::string AlarmLine(const std::string& text) const { return JournalLine(text, JournalPriority::Error, journal_); }
  std::string EventLogLine(const std::string& line) const;
  std::string InfoLine(const std::string& text) const { return JournalLine(text, JournalPriority::Info, journal_); }
  std::string WarningLine(const std::string& text) const {
    return JournalLine(text, JournalPriority::Warning, journal_);
  }

 private:
  ServiceNotifier notifier_;
  bool journal_ = false;
  bool ready_ = false;
  int watched_ = -1;
};

}  // namespace rur::cli
