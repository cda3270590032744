// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// GetSmart's answer: the graded pages of one member as the last SMART read left them. The pages are
// read afresh only when no read is recent, and at most once a minute whatever the callers ask, so
// clients that loop on GetSmart cannot keep the engine from its refresh.

#include <cstdint>
#include <map>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

#include "app/program.h"
#include "smart/smart_poller.h"

namespace rur::service {

struct SmartAnswer {
  const char* errorName = nullptr;
  std::string error;  // empty when the page is there
  std::uint32_t device = 0;
  std::uint32_t bay = 0;
  std::string label;
  SmartPageModel page;
  bool thresholdsValid = false;
  std::int64_t readAt = 0;  // seconds since the epoch of the read the page comes from
};

// On the engine's thread: the page of `bay` (1 or 2) of the enclosure `key`; `mayRead`: the
// controller may be asked (no job holds it).
SmartAnswer AnswerSmart(Program& program, const std::string& key, std::uint32_t bay, bool mayRead);
// On the bus thread: the answer as GetSmart returns it.
std::map<std::string, sdbus::Variant> SmartDictionary(const SmartAnswer& answer);

}  // namespace rur::service
