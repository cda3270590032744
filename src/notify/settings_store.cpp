// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/settings_store.h"

#include <algorithm>

namespace rur {

SettingsValue SettingsValue::String(std::string value) {
  SettingsValue v;
  v.type = SettingsValueType::String;
  v.text = std::move(value);
  return v;
}

SettingsValue SettingsValue::Integer(std::uint32_t value) {
  SettingsValue v;
  v.type = SettingsValueType::Integer;
  v.number = value;
  return v;
}

SettingsValue SettingsValue::Binary(std::vector<std::uint8_t> value) {
  SettingsValue v;
  v.type = SettingsValueType::Binary;
  v.bytes = std::move(value);
  return v;
}

bool SameValueName(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

const SettingsValue* SettingsKey::Find(std::string_view name) const {
  for (const auto& v : values)
    if (SameValueName(v.name, name)) return &v.value;
  return nullptr;
}

void SettingsKey::Set(std::string_view name, SettingsValue value) {
  for (auto& v : values)
    if (SameValueName(v.name, name)) {
      v.value = std::move(value);
      return;
    }
  values.push_back({std::string(name), std::move(value)});
}

bool SettingsKey::Erase(std::string_view name) {
  auto it =
      std::find_if(values.begin(), values.end(), [&](const NamedValue& v) { return SameValueName(v.name, name); });
  if (it == values.end()) return false;
  values.erase(it);
  return true;
}

static const char* TypeName(SettingsValueType type) {
  switch (type) {
    case SettingsValueType::String: return "a string";
    case SettingsValueType::Integer: return "an integer";
    case SettingsValueType::Binary: return "binary data";
  }
  return "unknown";
}

static StoreResult ReadTyped(SettingsStore& store, std::string_view name, SettingsValueType type,
                             SettingsValue& value) {
  StoreResult result = store.Read(name, value);
  if (!result.ok()) return result;
  if (value.type != type)
    return StoreResult::Failed("settings value \"" + std::string(name) + "\" is " + TypeName(value.type) +
                               ", expected " + TypeName(type));
  return result;
}

StoreResult SettingsStore::ReadString(std::string_view name, std::string& value) {
  SettingsValue v;
  StoreResult result = ReadTyped(*this, name, SettingsValueType::String, v);
  if (result.ok()) value = std::move(v.text);
  return result;
}

StoreResult SettingsStore::ReadInteger(std::string_view name, std::uint32_t& value) {
  SettingsValue v;
  StoreResult result = ReadTyped(*this, name, SettingsValueType::Integer, v);
  if (result.ok()) value = v.number;
  return result;
}

StoreResult SettingsStore::ReadBinary(std::string_view name, std::vector<std::uint8_t>& value) {
  SettingsValue v;
  StoreResult result = ReadTyped(*this, name, SettingsValueType::Binary, v);
  if (result.ok()) value = std::move(v.bytes);
  return result;
}

StoreResult SettingsStore::WriteString(std::string_view name, std::string value) {
  return Write(name, SettingsValue::String(std::move(value)));
}

StoreResult SettingsStore::WriteInteger(std::string_view name, std::uint32_t value) {
  return Write(name, SettingsValue::Integer(value));
}

StoreResult SettingsStore::WriteBinary(std::string_view name, std::vector<std::uint8_t> value) {
  return Write(name, SettingsValue::Binary(std::move(value)));
}

bool SettingsStore::ValueExists(std::string_view name) {
  SettingsValue ignored;
  return Read(name, ignored).ok();
}

StoreResult MemorySettingsStore::KeyExists(bool& exists) {
  exists = keyExists;
  return StoreResult::Ok();
}

StoreResult MemorySettingsStore::CreateKey() {
  if (!failWrites.empty() && !keyExists) return StoreResult::Failed(failWrites);
  keyExists = true;
  return StoreResult::Ok();
}

StoreResult MemorySettingsStore::ValueNames(std::vector<std::string>& names) {
  names.clear();
  if (!keyExists) return StoreResult::Missing();
  for (const auto& v : key.values) names.push_back(v.name);
  return StoreResult::Ok();
}

StoreResult MemorySettingsStore::Read(std::string_view name, SettingsValue& value) {
  const SettingsValue* found = keyExists ? key.Find(name) : nullptr;
  if (!found) return StoreResult::Missing();
  value = *found;
  return StoreResult::Ok();
}

StoreResult MemorySettingsStore::Write(std::string_view name, const SettingsValue& value) {
  if (!failWrites.empty()) return StoreResult::Failed(failWrites);
  keyExists = true;
  key.Set(name, value);
  return StoreResult::Ok();
}

StoreResult MemorySettingsStore::DeleteValue(std::string_view name) {
  if (!failWrites.empty()) return StoreResult::Failed(failWrites);
  return keyExists && key.Erase(name) ? StoreResult::Ok() : StoreResult::Missing();
}

}  // namespace rur
