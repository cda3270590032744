// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/date_time_text.h"

#include <cstdio>

namespace rur {

std::string FormatDateTime(const LocalDateTime& t) {
  char text[64];
  if (t.hour == 0 && t.minute == 0 && t.second == 0) {
    std::snprintf(text, sizeof text, "%d/%d/%d", t.year, t.month, t.day);
  } else {
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  }
  return text;
}

std::string IsoDateTimeText(const LocalDateTime& t, int utcOffsetSeconds) {
  const int minutes = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, utcOffsetSeconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return text;
}

std::string DayFileStem(const LocalDateTime& t) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d%02d%02d", t.year % 100, t.month % 100, t.day % 100);
  return text;
}

}  // namespace rur
