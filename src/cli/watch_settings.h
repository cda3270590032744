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
// Why the settings file cannot be used at all (something other than a regular file sits at its
// name: a FIFO, a device, a folder, a link); empty when it is a file or absent. A watch that
// cannot trust its settings stops at once rather than run without its alarms' settings.
std::string UnusableSettingsFile(const std::string& settingsPath);

}  // namespace rur::cli
