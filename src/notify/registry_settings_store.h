// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings key in the Windows registry, HKEY_LOCAL_MACHINE\SOFTWARE\KV_RODE_RUR, with the same
// values as the settings file holds elsewhere. Only the Windows build has it.

#include "notify/settings_store.h"
#include "platform/registry_key.h"

namespace rur {

class RegistrySettingsStore final : public SettingsStore {
 public:
  explicit RegistrySettingsStore(std::string keyPath) : key_(std::move(keyPath)) {}
  std::string name() const { return key_.FullName(); }

  StoreResult KeyExists(bool& exists) override;
  StoreResult CreateKey() override;
  StoreResult ValueNames(std::vector<std::string>& names) override;
  StoreResult Read(std::string_view name, SettingsValue& value) override;
  StoreResult Write(std::string_view name, const SettingsValue& value) override;
  StoreResult DeleteValue(std::string_view name) override;

 private:
  RegistryKey key_;
};

}  // namespace rur
