// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether an enclosure's array still keeps its data safe, from the members' states in its status
// record: what scripts read from rurctl's exit status.

#include "monitor/status_record.h"

namespace rur {

struct ArrayHealth {
  bool degraded = false;  // runs, but without its second copy (or with a failed member); not when failed
  bool failed = false;    // holds no usable array
};

// Mirroring is degraded while a member is absent, failed, inserted and not yet rebuilt, or being
// rebuilt; a failed member counts in every mode. Bypass and JBOD keep no copy, so an empty bay
// there is no degradation. Striping spreads every file over both disks: without both it has failed.
ArrayHealth ArrayHealthOf(const StatusRecord& record);

}  // namespace rur
