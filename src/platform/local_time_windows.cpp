// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/local_time.h"

namespace rur {

bool LocalCalendar(std::time_t instant, std::tm& parts) { return localtime_s(&parts, &instant) == 0; }

long UtcOffsetAt(std::time_t instant) {
  // The local calendar read back as if it were UTC, less the instant itself.
  std::tm local{};
  if (localtime_s(&local, &instant) != 0) return 0;
  const std::time_t asUtc = _mkgmtime(&local);
  return asUtc == static_cast<std::time_t>(-1) ? 0 : static_cast<long>(asUtc - instant);
}

}  // namespace rur
