// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A key of the Windows registry below HKEY_LOCAL_MACHINE, with string, 32-bit and binary values.
// Only the Windows build has it.

#include <cstdint>
#include <string>
#include <vector>

namespace rur {

struct RegistryValue {
  enum class Type { String, Dword, Binary, Other } type = Type::String;
  std::string text;                 // String, as UTF-8
  std::uint32_t number = 0;         // Dword
  std::vector<std::uint8_t> bytes;  // Binary
};

// Every call answers false with `error` when the registry refuses; `found` says whether the key
// or value was there.
class RegistryKey {
 public:
  explicit RegistryKey(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  // "HKEY_LOCAL_MACHINE\<path>", as people read it.
  std::string FullName() const;

  bool Exists(bool& found, std::string& error) const;
  bool Create(std::string& error) const;
  bool ValueNames(std::vector<std::string>& names, bool& found, std::string& error) const;
  bool Read(const std::string& name, RegistryValue& value, bool& found, std::string& error) const;
  bool Write(const std::string& name, const RegistryValue& value, std::string& error) const;
  bool Delete(const std::string& name, bool& found, std::string& error) const;

 private:
  std::string path_;
};

}  // namespace rur
