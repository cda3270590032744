// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/local_time.h"

namespace rur {

bool LocalCalendar(std::time_t instant, std::tm& parts) { return localtime_r(&instant, &parts) != nullptr; }

long UtcOffsetAt(std::time_t instant) {
  std::tm parts{};
  return localtime_r(&instant, &parts) != nullptr ? parts.tm_gmtoff : 0;
}

}  // namespace rur
