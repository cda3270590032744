// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The graded SMART grid of one bay, as the SMART page shows it, for rurctl's text and JSON output.

#include <string>

#include <nlohmann/json.hpp>

#include "smart/evaluate_smart.h"

namespace rur {

std::string SmartText(const SmartPageModel& model);
nlohmann::json SmartJson(const SmartPageModel& model, unsigned device, unsigned bay);
std::string RgbText(Rgb colour);  // "RRGGBB"

}  // namespace rur
