#pragma once
// The program's name and version as the window caption, the log banner and mail subjects show them.

#include <string_view>

namespace rur {

constexpr std::string_view VersionText = "v0.50.11-3";
constexpr std::string_view ApplicationTitle = "RODE RUR v0.50.11-3";

}  // namespace rur
