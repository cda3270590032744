// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's name and version as the window caption, the log banner and mail subjects show them.

#include <string_view>

#include "platform/build_info.h"

namespace rur {

constexpr std::string_view VersionText = kBuildVersionText;
constexpr std::string_view ApplicationTitle = kBuildApplicationTitle;

}  // namespace rur
