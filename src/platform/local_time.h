// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's calendar time of an instant, and its distance from UTC then: the one place that asks
// the system for the local time zone.

#include <ctime>

namespace rur {

// False when the instant has no local calendar time.
bool LocalCalendar(std::time_t instant, std::tm& parts);
// Seconds east of UTC at that instant (daylight saving included); 0 when unknown.
long UtcOffsetAt(std::time_t instant);

}  // namespace rur
