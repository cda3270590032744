// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One event as a line of rurctl monitor --json, the same whether the watch runs in rurctl or in
// the service.

#include <nlohmann/json.hpp>

#include "app/event_facts.h"

namespace rur::cli {

nlohmann::json EventJson(const EventFacts& facts);

}  // namespace rur::cli
