// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One alarm per trouble of a bay. A bay is in trouble from the moment its disk leaves the array
// (pulled, failed, or put in and never taken in) until a disk of that bay is in the array again:
// a failure and the later pull of the failed disk, or a pull seen both at the first look and as
// a change, are two log lines and one alarm.

#include <array>
#include <map>

#include "monitor/enclosure_status.h"

namespace rur {

class MemberAlarmGate {
 public:
  // Whether a member alarm for the bay (0 = HDD1) of the enclosure on `drive` is the first of its
  // trouble; the trouble counts as alarmed from now on.
  bool Admit(unsigned drive, unsigned bay);
  // The trouble was alarmed before (an earlier run found the bay so).
  void MarkAlarmed(unsigned drive, unsigned bay) { alarmed_[drive][bay] = true; }
  // A look at the members: a bay whose disk is in the array is out of trouble.
  void Observe(unsigned drive, const EnclosureStatus& status);
  // Another enclosure answers on `drive`: nothing of the one before counts for it.
  void Forget(unsigned drive) { alarmed_.erase(drive); }

 private:
  std::map<unsigned, std::array<bool, 2>> alarmed_;  // by drive, per bay
};

}  // namespace rur
