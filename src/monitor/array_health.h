// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether an enclosure's array still keeps its data safe, from the members' states: what scripts
// read from rurctl's exit status, what the metrics, the tray and the service report.

#include <string_view>

#include "monitor/enclosure_status.h"

namespace rur {

enum class ArrayState { Normal, Degraded, Rebuilding, Failed };

// The array by its mode: a mirror with one member left is degraded; striping and spanning (JBOD,
// NRAID) arrays lose their data with either member; bypass passes each disk through on its own, so
// an empty bay there is no fault. A failed member makes any array that still runs degraded.
// An enclosure whose members were never read counts as normal: nothing is known against it.
ArrayState ArrayStateOf(const EnclosureStatus& status);
// "normal", "degraded", "rebuilding", "failed".
std::string_view ArrayStateName(ArrayState state);

struct ArrayHealth {
  bool degraded = false;  // runs without its second copy, is being rebuilt, or has a failed member
  bool failed = false;    // holds no usable array
};

ArrayHealth ArrayHealthOf(const EnclosureStatus& status);

// What an alarm of a failed mirror adds: neither disk holds all of the data any more.
constexpr const char* kNoCompleteCopySentence = "The array has lost its only complete copy of the data.";

}  // namespace rur
