// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's settings key with the registry's model: the key exists or not, and holds named
// values that are strings, 32-bit integers or raw bytes. Value names compare without regard to
// ASCII case, as registry names do. The mail settings are its only user.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rur {

enum class SettingsValueType { String, Integer, Binary };

struct SettingsValue {
  SettingsValueType type = SettingsValueType::String;
  std::string text;                 // String
  std::uint32_t number = 0;         // Integer
  std::vector<std::uint8_t> bytes;  // Binary

  static SettingsValue String(std::string value);
  static SettingsValue Integer(std::uint32_t value);
  static SettingsValue Binary(std::vector<std::uint8_t> value);
  bool operator==(const SettingsValue&) const = default;
};

struct NamedValue {
  std::string name;
  SettingsValue value;
};

// The contents of the key in the order the values were first written.
struct SettingsKey {
  std::vector<NamedValue> values;

  const SettingsValue* Find(std::string_view name) const;
  void Set(std::string_view name, SettingsValue value);
  bool Erase(std::string_view name);
};

bool SameValueName(std::string_view a, std::string_view b);

enum class StoreStatus { Ok, Missing, Failed };

struct StoreResult {
  StoreStatus status = StoreStatus::Ok;
  std::string error;  // for Failed: what went wrong, naming the file and line where there is one

  bool ok() const { return status == StoreStatus::Ok; }
  bool missing() const { return status == StoreStatus::Missing; }
  bool failed() const { return status == StoreStatus::Failed; }
  static StoreResult Ok() { return {}; }
  static StoreResult Missing() { return {StoreStatus::Missing, {}}; }
  static StoreResult Failed(std::string error) { return {StoreStatus::Failed, std::move(error)}; }
};

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // Failed when the key's contents cannot be read (for example a file that does not parse).
  virtual StoreResult KeyExists(bool& exists) = 0;
  virtual StoreResult CreateKey() = 0;
  virtual StoreResult ValueNames(std::vector<std::string>& names) = 0;
  // Missing when the key or the value does not exist.
  virtual StoreResult Read(std::string_view name, SettingsValue& value) = 0;
  virtual StoreResult Write(std::string_view name, const SettingsValue& value) = 0;
  // Missing when there was no such value.
  virtual StoreResult DeleteValue(std::string_view name) = 0;

  // Typed reads: a value of another type fails with a message naming it.
  StoreResult ReadString(std::string_view name, std::string& value);
  StoreResult ReadInteger(std::string_view name, std::uint32_t& value);
  StoreResult ReadBinary(std::string_view name, std::vector<std::uint8_t>& value);
  StoreResult WriteString(std::string_view name, std::string value);
  StoreResult WriteInteger(std::string_view name, std::uint32_t value);
  StoreResult WriteBinary(std::string_view name, std::vector<std::uint8_t> value);
  bool ValueExists(std::string_view name);
};

// A store that lives in memory only, for tests and for runs that must not keep anything.
class MemorySettingsStore final : public SettingsStore {
 public:
  StoreResult KeyExists(bool& exists) override;
  StoreResult CreateKey() override;
  StoreResult ValueNames(std::vector<std::string>& names) override;
  StoreResult Read(std::string_view name, SettingsValue& value) override;
  StoreResult Write(std::string_view name, const SettingsValue& value) override;
  StoreResult DeleteValue(std::string_view name) override;

  bool keyExists = false;
  SettingsKey key;
  // When set, every write fails with this text (a read-only key).
  std::string failWrites;
};

}  // namespace rur
