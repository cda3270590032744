// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a run keeps its settings. A run with its own folder (simulated, or --data-dir) keeps them
// in the settings file there. The machine's own settings are the settings file of the system
// folder on Linux, and the registry key SOFTWARE\KV_RODE_RUR of HKEY_LOCAL_MACHINE on Windows.

#include <memory>
#include <string>

#include "notify/settings_store.h"

namespace rur {

struct OpenedSettings {
  std::unique_ptr<SettingsStore> store;
  std::string name;  // the file's path or the registry key's name, for messages
};

OpenedSettings OpenSettings(const std::string& settingsFilePath, bool machineSettings);

}  // namespace rur
