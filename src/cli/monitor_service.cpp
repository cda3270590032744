// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/monitor_service.h"

namespace rur::cli {
namespace {

// Rebuild progress reads "D1 HDD1 --> HDD2 42%, <stamp>".
bool IsProgressLine(const std::string& line) {
  return line.find(" --> ") != std::string::npos && line.find("%, ") != std::string::npos;
}

std::string WatchedText(unsigned count) {
  return "Watching " + std::to_string(count) + (count == 1 ? " enclosure" : " enclosures");
}

}  // namespace

void MonitorService::Update(const Engine& engine) {
  const bool detected = engine.everDetected() && !engine.detection().probing();
  if (!ready_ && !detected) return;
  const auto count = static_cast<int>(engine.devices().currentCount);
  if (ready_ && count == watched_) return;
  watched_ = count;
  const std::string status = "STATUS=" + WatchedText(engine.devices().currentCount);
  notifier_.Send(ready_ ? status : "READY=1\n" + status);
  ready_ = true;
}

void MonitorService::Stopping() { notifier_.Send("STOPPING=1\nSTATUS=Stopping"); }

std::string MonitorService::EventLogLine(const std::string& line) const {
  return JournalLine(line, IsProgressLine(line) ? JournalPriority::Info : JournalPriority::Notice, journal_);
}

}  // namespace rur::cli
