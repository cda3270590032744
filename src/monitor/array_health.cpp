// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/array_health.h"

namespace rur {

ArrayState ArrayStateOf(const StatusRecord& record) {
  if (record[status_offset::kActivityFlags] & (kHdd1Rebuilding | kHdd2Rebuilding)) return ArrayState::Rebuilding;
  const std::uint8_t flags = record[status_offset::kDriveFlags];
  const std::uint8_t present = flags & kBothPresent;
  if (present == 0) return ArrayState::Failed;
  const bool memberFailed = (flags & (kHdd1Failed | kHdd2Failed)) != 0;
  if (present == kBothPresent) return memberFailed ? ArrayState::Degraded : ArrayState::Normal;
  switch (record[status_offset::kArrayMode]) {
    case kModeMirroring: return ArrayState::Degraded;
    case kModeBypass: return memberFailed ? ArrayState::Degraded : ArrayState::Normal;
    default: return ArrayState::Failed;
  }
}

std::string_view ArrayStateName(ArrayState state) {
  switch (state) {
    case ArrayState::Normal: return "normal";
    case ArrayState::Degraded: return "degraded";
    case ArrayState::Rebuilding: return "rebuilding";
    case ArrayState::Failed: return "failed";
  }
  return "failed";
}

ArrayHealth ArrayHealthOf(const StatusRecord& record) {
  const ArrayState state = ArrayStateOf(record);
  return {state == ArrayState::Degraded || state == ArrayState::Rebuilding, state == ArrayState::Failed};
}

}  // namespace rur
