// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/reg_file_store.h"
#include "notify/registry_settings_store.h"
#include "notify/settings_location.h"

namespace rur {

OpenedSettings OpenSettings(const std::string& settingsFilePath, bool machineSettings) {
  if (!machineSettings) return {std::make_unique<RegFileSettingsStore>(settingsFilePath), settingsFilePath};
  auto registry = std::make_unique<RegistrySettingsStore>(std::string(kSettingsKeyName));
  std::string name = registry->name();
  return {std::move(registry), std::move(name)};
}

}  // namespace rur
