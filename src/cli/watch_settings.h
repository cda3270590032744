// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the watch reads from the settings file at its start, besides the mail settings the mail
// center loads: how long the day logs stay, and whether alarms can reach anyone by mail at all.

#include <cstdint>
#include <string>

namespace rur::cli {

struct WatchSettings {
  std::uint32_t logKeepDays = 0;
  // Said once at the start when no mail server or no recipient is set; empty when both are.
  std::string mailNotice;
};

WatchSettings ReadWatchSettings(const std::string& settingsPath);

}  // namespace rur::cli
