// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/array_health.h"

namespace rur {

ArrayState ArrayStateOf(const EnclosureStatus& status) {
  if (!status.array) return ArrayState::Normal;
  const auto& members = status.array->members;
  if (status.rebuildingBay) {
    // A copy whose source is out of the array has nothing left to copy from: the disk being
    // written holds only part of the data, and the only complete copy is gone.
    return members[1 - (*status.rebuildingBay & 1u)].inArray() ? ArrayState::Rebuilding : ArrayState::Failed;
  }
  const unsigned inArray = (members[0].inArray() ? 1u : 0u) + (members[1].inArray() ? 1u : 0u);
  if (inArray == 0) return ArrayState::Failed;
  const bool memberFailed = members[0].state == MemberState::Failed || members[1].state == MemberState::Failed;
  if (inArray == 2) return memberFailed ? ArrayState::Degraded : ArrayState::Normal;
  switch (status.array->mode) {
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

ArrayHealth ArrayHealthOf(const EnclosureStatus& status) {
  const ArrayState state = ArrayStateOf(status);
  return {state == ArrayState::Degraded || state == ArrayState::Rebuilding, state == ArrayState::Failed};
}

}  // namespace rur
