// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one date-time text of the program: "yyyy/M/d H:mm:ss", the time left out at exactly midnight.

#include <string>

#include "platform/clock.h"

namespace rur {

std::string FormatDateTime(const LocalDateTime& time);
// ISO 8601 with the offset from UTC: "2026-01-01T00:05:00+01:00".
std::string IsoDateTimeText(const LocalDateTime& time, int utcOffsetSeconds);
// "yymmdd", the name of a day's event log without its ending.
std::string DayFileStem(const LocalDateTime& time);

}  // namespace rur
