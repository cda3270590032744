// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/array_health.h"

namespace rur {

ArrayHealth ArrayHealthOf(const StatusRecord& record) {
  const std::uint8_t flags = record[status_offset::kDriveFlags];
  const std::uint8_t mode = record[status_offset::kArrayMode];
  const bool rebuilding = (record[status_offset::kActivityFlags] & (kHdd1Rebuilding | kHdd2Rebuilding)) != 0;
  const int present = ((flags & kHdd1Present) ? 1 : 0) + ((flags & kHdd2Present) ? 1 : 0);
  ArrayHealth health;
  health.failed = present == 0 || (mode == kModeStriping && present < 2);
  health.degraded = !health.failed && ((flags & (kHdd1Failed | kHdd2Failed)) != 0 ||
                                       (mode == kModeMirroring && (present < 2 || rebuilding)));
  return health;
}

}  // namespace rur
