// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What happened, as the program knows it when it writes a day-log line or raises an alarm: the
// kind of event, the enclosure and bay it concerns and the line itself. The event stream of
// rurctl monitor --json and the programs run on events are fed from here, so nobody has to read
// the kind back out of the log's text.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace rur {

enum class LogEventKind : std::uint8_t {
  Banner,  // separator lines and "... has started from"
  Info,    // device information blocks and the details under an event
  MemberRemoved,
  MemberInserted,
  MemberInitialized,
  MemberFailed,
  RebuildProgress,
  RebuildDone,     // also a rebuild whose last step was not seen: both members present again
  RebuildAborted,  // the copy stopped before its end: its source or its target left the array
  DeviceRemoved,
  DeviceFound,
  Flapping,  // an enclosure that keeps going and coming
  Steady,    // a flapping enclosure that has been steady for a minute
  NotAnswering,
  AnsweringAgain,
  FanFailure,
  FanRunning,
  OverTemperature,
  TemperatureNormal,
  DiskReplaced,
  DiskHealth,
  FlashInvalid,
  MailGivenUp,
  MailRefused,  // the server refused one recipient for good; the others got the mail
  MailLost,     // a mail that could be neither kept in the outbox nor sent
  UpgradeUnfinished,
  FirmwareUpgrade,  // a firmware upgrade asked for, and its outcome
  Alarm,
};

// Who an event is about, known where its line is made.
struct LogEventTag {
  LogEventKind kind = LogEventKind::Info;
  int device = -1;            // position in the device list, -1 for none
  int drive = -1;             // physical drive number, -1 for none
  unsigned bay = 0;           // 1 (HDD1) or 2 (HDD2), 0 for none
  std::uint32_t refusal = 0;  // MailRefused: the number the program keeps the refused recipient under
};

struct LogEvent {
  LogEventTag tag;
  std::string text;            // the day log's line, or the alarm's sentences
  LocalDateTime time;          // local time of the line's stamp
  std::uint8_t alarmKind = 0;  // for Alarm: 1 drive failure .. 5 disk health
};

// "member-removed", "rebuild-progress", ...: the names scripts see.
std::string_view LogEventName(LogEventKind kind);

}  // namespace rur
