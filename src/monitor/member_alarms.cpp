// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/member_alarms.h"

namespace rur {

bool MemberAlarmGate::Admit(unsigned drive, unsigned bay) {
  bool& alarmed = alarmed_[drive][bay & 1u];
  if (alarmed) return false;
  alarmed = true;
  return true;
}

void MemberAlarmGate::Observe(unsigned drive, const EnclosureStatus& status) {
  if (!status.membersKnown()) return;
  const auto found = alarmed_.find(drive);
  if (found == alarmed_.end()) return;
  for (unsigned bay = 0; bay < 2; ++bay)
    if (status.member(bay)->inArray()) found->second[bay] = false;
}

}  // namespace rur
