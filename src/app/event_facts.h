// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An event as scripts see it, the same for the JSON lines of rurctl monitor --json and for the
// environment of a program run on the event: its name, the enclosure (number, drive, device
// path), the bay, the log line and an ISO 8601 time with the offset from UTC.

#include <string>

#include "monitor/log_event.h"
#include "platform/hook_runner.h"

namespace rur {

class Program;

struct EventFacts {
  std::string event;  // "member-removed", ...
  int device = 0;     // numbered from 1 as the window names them; 0 for none
  int drive = -1;     // physical drive number; -1 for none
  std::string path;   // the drive's device node (or simulated name); empty for none
  unsigned bay = 0;   // 1 or 2; 0 for none
  std::string text;   // the day log's line, or the alarm's sentences
  std::string time;   // "2026-01-01T00:05:00+00:00"
  unsigned alarmKind = 0;
  // mail-refused: the refused address and the server's reply code; `text` is then the reply's text.
  std::string recipient;
  int code = 0;
};

EventFacts DescribeEvent(const LogEvent& event, const Program& program);
// RUR_EVENT, RUR_DEVICE, RUR_DRIVE, RUR_PATH, RUR_BAY, RUR_TEXT, RUR_TIME (and RUR_ALARM_KIND
// for an alarm; RUR_RECIPIENT and RUR_CODE for a refused recipient); a value that does not apply
// is empty.
HookRunner::Environment EventEnvironment(const EventFacts& facts);
// Programs run on every event but rebuild progress and the log's banner and information lines.
bool EventRunsPrograms(const LogEvent& event);

}  // namespace rur
