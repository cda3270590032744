// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/settings_location.h"

#include "notify/reg_file_store.h"

namespace rur {

OpenedSettings OpenSettings(const std::string& settingsFilePath, bool) {
  return {std::make_unique<RegFileSettingsStore>(settingsFilePath), settingsFilePath};
}

}  // namespace rur
