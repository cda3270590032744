// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/registry_settings_store.h"

namespace rur {
namespace {

StoreResult Outcome(bool ok, bool found, const std::string& error) {
  if (!ok) return StoreResult::Failed(error);
  return found ? StoreResult::Ok() : StoreResult::Missing();
}

}  // namespace

StoreResult RegistrySettingsStore::KeyExists(bool& exists) {
  std::string error;
  if (!key_.Exists(exists, error)) return StoreResult::Failed(error);
  return StoreResult::Ok();
}

StoreResult RegistrySettingsStore::CreateKey() {
  std::string error;
  return key_.Create(error) ? StoreResult::Ok() : StoreResult::Failed(error);
}

StoreResult RegistrySettingsStore::ValueNames(std::vector<std::string>& names) {
  bool found = false;
  std::string error;
  const bool ok = key_.ValueNames(names, found, error);
  return ok ? StoreResult::Ok() : StoreResult::Failed(error);
}

StoreResult RegistrySettingsStore::Read(std::string_view name, SettingsValue& value) {
  RegistryValue stored;
  bool found = false;
  std::string error;
  const bool ok = key_.Read(std::string(name), stored, found, error);
  if (!ok || !found) return Outcome(ok, found, error);
  switch (stored.type) {
    case RegistryValue::Type::String: value = SettingsValue::String(stored.text); break;
    case RegistryValue::Type::Dword: value = SettingsValue::Integer(stored.number); break;
    case RegistryValue::Type::Binary: value = SettingsValue::Binary(stored.bytes); break;
    case RegistryValue::Type::Other:
      return StoreResult::Failed(std::string(name) + " of " + key_.FullName() +
                                 " is neither a string, a DWORD nor binary data");
  }
  return StoreResult::Ok();
}

StoreResult RegistrySettingsStore::Write(std::string_view name, const SettingsValue& value) {
  RegistryValue stored;
  switch (value.type) {
    case SettingsValueType::String:
      stored.type = RegistryValue::Type::String;
      stored.text = value.text;
      break;
    case SettingsValueType::Integer:
      stored.type = RegistryValue::Type::Dword;
      stored.number = value.number;
      break;
    case SettingsValueType::Binary:
      stored.type = RegistryValue::Type::Binary;
      stored.bytes = value.bytes;
      break;
  }
  std::string error;
  return key_.Write(std::string(name), stored, error) ? StoreResult::Ok() : StoreResult::Failed(error);
}

StoreResult RegistrySettingsStore::DeleteValue(std::string_view name) {
  bool found = false;
  std::string error;
  const bool ok = key_.Delete(std::string(name), found, error);
  return Outcome(ok, found, error);
}

}  // namespace rur
