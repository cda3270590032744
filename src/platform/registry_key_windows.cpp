// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry_key.h"
#include "platform/windows_text.h"

namespace rur {
namespace {

constexpr const char* kRootName = "HKEY_LOCAL_MACHINE\\";

// The key opened with `access`; null with found=false when it does not exist.
HKEY OpenKey(const std::string& path, REGSAM access, bool& found, std::string& error, const std::string& fullName) {
  HKEY key = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, WideText(path).c_str(), 0, access, &key);
  found = status == ERROR_SUCCESS;
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
    error = "cannot open the registry key " + fullName + ": " + SystemErrorText(static_cast<DWORD>(status));
  return found ? key : nullptr;
}

struct KeyCloser {
  HKEY key;
  ~KeyCloser() {
    if (key != nullptr) ::RegCloseKey(key);
  }
};

}  // namespace

std::string RegistryKey::FullName() const { return kRootName + path_; }

bool RegistryKey::Exists(bool& found, std::string& error) const {
  KeyCloser key{OpenKey(path_, KEY_READ, found, error, FullName())};
  return error.empty();
}

bool RegistryKey::Create(std::string& error) const {
  HKEY key = nullptr;
  const LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, WideText(path_).c_str(), 0, nullptr,
                                           REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) {
    error = "cannot create the registry key " + FullName() +
            " (run as administrator): " + SystemErrorText(static_cast<DWORD>(status));
    return false;
  }
  ::RegCloseKey(key);
  return true;
}

bool RegistryKey::ValueNames(std::vector<std::string>& names, bool& found, std::string& error) const {
  names.clear();
  KeyCloser key{OpenKey(path_, KEY_READ, found, error, FullName())};
  if (key.key == nullptr) return error.empty();
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD length = sizeof name / sizeof name[0];
    const LSTATUS status = ::RegEnumValueW(key.key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status != ERROR_SUCCESS) {
      error = "cannot list the values of " + FullName() + ": " + SystemErrorText(static_cast<DWORD>(status));
      return false;
    }
    names.push_back(Utf8Text(std::wstring(name, length)));
  }
}

bool RegistryKey::Read(const std::string& name, RegistryValue& value, bool& found, std::string& error) const {
  KeyCloser key{OpenKey(path_, KEY_READ, found, error, FullName())};
  if (key.key == nullptr) return error.empty();
  const std::wstring wideName = WideText(name);
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(key.key, wideName.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) {
    found = false;
    return true;
  }
  std::vector<BYTE> data(size);
  if (status == ERROR_SUCCESS)
    status = ::RegQueryValueExW(key.key, wideName.c_str(), nullptr, &type, data.data(), &size);
  if (status != ERROR_SUCCESS) {
    error = "cannot read " + name + " of " + FullName() + ": " + SystemErrorText(static_cast<DWORD>(status));
    return false;
  }
  data.resize(size);
  value = RegistryValue{};
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    value.type = RegistryValue::Type::String;
    value.text = Utf8Text(text);
  } else if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
    value.type = RegistryValue::Type::Dword;
    value.number = *reinterpret_cast<const DWORD*>(data.data());
  } else if (type == REG_BINARY) {
    value.type = RegistryValue::Type::Binary;
    value.bytes.assign(data.begin(), data.end());
  } else {
    value.type = RegistryValue::Type::Other;
  }
  return true;
}

bool RegistryKey::Write(const std::string& name, const RegistryValue& value, std::string& error) const {
  bool found = false;
  KeyCloser key{OpenKey(path_, KEY_SET_VALUE, found, error, FullName())};
  if (key.key == nullptr) {
    if (error.empty()) error = "the registry key " + FullName() + " does not exist";
    return false;
  }
  LSTATUS status = ERROR_INVALID_PARAMETER;
  const std::wstring wideName = WideText(name);
  if (value.type == RegistryValue::Type::String) {
    const std::wstring text = WideText(value.text);
    status = ::RegSetValueExW(key.key, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  } else if (value.type == RegistryValue::Type::Dword) {
    const DWORD number = value.number;
    status = ::RegSetValueExW(key.key, wideName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                              sizeof number);
  } else if (value.type == RegistryValue::Type::Binary) {
    status = ::RegSetValueExW(key.key, wideName.c_str(), 0, REG_BINARY, value.bytes.data(),
                              static_cast<DWORD>(value.bytes.size()));
  }
  if (status != ERROR_SUCCESS) {
    error = "cannot write " + name + " of " + FullName() +
            " (run as administrator): " + SystemErrorText(static_cast<DWORD>(status));
    return false;
  }
  return true;
}

bool RegistryKey::Delete(const std::string& name, bool& found, std::string& error) const {
  KeyCloser key{OpenKey(path_, KEY_SET_VALUE, found, error, FullName())};
  if (key.key == nullptr) return error.empty();
  const LSTATUS status = ::RegDeleteValueW(key.key, WideText(name).c_str());
  found = status != ERROR_FILE_NOT_FOUND;
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    error = "cannot delete " + name + " of " + FullName() + ": " + SystemErrorText(static_cast<DWORD>(status));
    return false;
  }
  return true;
}

}  // namespace rur
