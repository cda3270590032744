// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether an enclosure's array still keeps its data safe, from the members' states in its status
// record: what scripts read from rurctl's exit status and what the metrics report.

#include <string_view>

#include "monitor/status_record.h"

namespace rur {

enum class ArrayState { Normal, Degraded, Rebuilding, Failed };

// The array by its mode: a mirror with one member left is degraded; striping and spanning (JBOD,
// NRAID) arrays lose their data with either member; bypass passes each disk through on its own, so
// an empty bay there is no fault. A failed member makes any array that still runs degraded.
ArrayState ArrayStateOf(const StatusRecord& record);
// "normal", "degraded", "rebuilding", "failed".
std::string_view ArrayStateName(ArrayState state);

struct ArrayHealth {
  bool degraded = false;  // runs without its second copy, is being rebuilt, or has a failed member
  bool failed = false;    // holds no usable array
};

ArrayHealth ArrayHealthOf(const StatusRecord& record);

}  // namespace rur
