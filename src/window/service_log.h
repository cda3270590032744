// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's day log as rode-rurd keeps it, for a window that is the service's client.

#include <string>
#include <vector>

namespace rur::ui {

// Today's lines of the service's day log (today on the service's clock); false with the service's
// message when it cannot be had.
bool FetchServiceDayLog(std::vector<std::string>& lines, std::string& error);

}  // namespace rur::ui
