// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names of the SMART attributes the grid shows, by attribute ID.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace rur {

struct SmartAttributeName {
  std::uint8_t id;
  std::string_view name;  // at most 33 characters
};

// The table in its fixed order; lookup takes the first row whose ID matches.
std::span<const SmartAttributeName> SmartAttributeNames();
std::optional<std::string_view> FindSmartAttributeName(std::uint8_t id);

}  // namespace rur
