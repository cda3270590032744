// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl's JSON as it is written out. A text that is not UTF-8 (a by-id name, a file's name) never
// stops the output: its stray bytes become U+FFFD, as ValidUtf8 (platform/safe_text.h) makes them.

#include <string>

#include <nlohmann/json.hpp>

namespace rur::cli {

// `indent` -1: one line.
inline std::string JsonText(const nlohmann::json& value, int indent = -1) {
  return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace rur::cli
