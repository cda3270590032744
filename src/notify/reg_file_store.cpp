// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/reg_file_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/atomic_file.h"
#include "platform/folder_lock.h"
#include "platform/program_paths.h"

namespace rur {

std::string SettingsFilePath(const std::string& dataDirectory) {
  std::string folder = dataDirectory.empty() ? SystemSettingsFolder() : dataDirectory;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder + "/" + std::string(kSettingsFileName);
}

std::string SettingsFileExposureWarning(const std::string& settingsFilePath) {
  if (!ReadableByOthers(settingsFilePath)) return {};
  return "The settings file " + settingsFilePath +
         " can be read by other users and holds the mail password; make it private with: chmod 600 " + settingsFilePath;
}

std::string DefaultMailFolder(const std::string& settingsFilePath) {
  const std::filesystem::path path(settingsFilePath);
  std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
  if (folder.back() != '/') folder += '/';
  return folder;
}

// --- text form -----------------------------------------------------------------------------

static void AppendQuoted(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  out += '"';
}

std::string FormatSettingsText(const SettingsKey& key) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "[" + std::string(kSettingsKeyName) + "]\n";
  for (const auto& [name, value] : key.values) {
    AppendQuoted(out, name);
    out += '=';
    switch (value.type) {
      case SettingsValueType::String: AppendQuoted(out, value.text); break;
      case SettingsValueType::Integer: {
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(value.number));
        out += digits;
        break;
      }
      case SettingsValueType::Binary:
        out += "hex:";
        for (std::size_t i = 0; i < value.bytes.size(); ++i) {
          if (i != 0) out += ',';
          out += kHex[value.bytes[i] >> 4];
          out += kHex[value.bytes[i] & 0x0F];
        }
        break;
    }
    out += '\n';
  }
  return out;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameValueName(text.substr(0, prefix.size()), prefix);
}

// A quoted text at the start of `text`; on success `text` is left after the closing quote.
bool ParseQuoted(std::string_view& text, std::string& out, std::string& error) {
  out.clear();
  if (text.empty() || text.front() != '"') {
    error = "expected a quoted text";
    return false;
  }
  std::size_t i = 1;
  while (i < text.size() && text[i] != '"') {
    if (text[i] != '\\') {
      out += text[i++];
      continue;
    }
    if (i + 1 >= text.size()) break;
    const char escaped = text[i + 1];
    i += 2;
    switch (escaped) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x': {
        const int high = i < text.size() ? HexDigit(text[i]) : -1;
        const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        if (high < 0 || low < 0) {
          error = "\\x must be followed by two hexadecimal digits";
          return false;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default: error = std::string("unknown escape \\") + escaped; return false;
    }
  }
  if (i >= text.size()) {
    error = "quoted text has no closing quote";
    return false;
  }
  text.remove_prefix(i + 1);
  return true;
}

bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes, bool& continues, std::string& error) {
  text = Trim(text);
  continues = !text.empty() && text.back() == '\\';
  if (continues) text = Trim(text.substr(0, text.size() - 1));
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = Trim(text.substr(0, comma));
    if (item.empty() && comma == std::string_view::npos) break;  // "...,\" ends with a comma
    if (item.size() != 2 || HexDigit(item[0]) < 0 || HexDigit(item[1]) < 0) {
      error = "\"" + std::string(item) + "\" is not a byte in two hexadecimal digits";
      return false;
    }
    bytes.push_back(static_cast<std::uint8_t>(HexDigit(item[0]) * 16 + HexDigit(item[1])));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return true;
}

bool ParseValue(std::string_view text, SettingsValue& value, bool& continues, std::string& error) {
  continues = false;
  text = Trim(text);
  if (!text.empty() && text.front() == '"') {
    std::string content;
    if (!ParseQuoted(text, content, error)) return false;
    if (!Trim(text).empty()) {
      error = "unexpected text after the closing quote";
      return false;
    }
    value = SettingsValue::String(std::move(content));
    return true;
  }
  if (StartsWithNoCase(text, "dword:")) {
    const std::string_view digits = Trim(text.substr(6));
    std::uint32_t number = 0;
    if (digits.empty() || digits.size() > 8) {
      error = "dword needs one to eight hexadecimal digits";
      return false;
    }
    for (const char c : digits) {
      if (HexDigit(c) < 0) {
        error = "dword needs one to eight hexadecimal digits";
        return false;
      }
      number = number * 16 + static_cast<std::uint32_t>(HexDigit(c));
    }
    value = SettingsValue::Integer(number);
    return true;
  }
  if (StartsWithNoCase(text, "hex:")) {
    value = SettingsValue::Binary({});
    return ParseHexBytes(text.substr(4), value.bytes, continues, error);
  }
  error = "a value must be a quoted text, dword:XXXXXXXX or hex:XX,XX,...";
  return false;
}

bool IsOurKeyHeader(std::string_view line) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  std::string_view name = line.substr(1, line.size() - 2);
  if (StartsWithNoCase(name, "HKEY_LOCAL_MACHINE\\")) name.remove_prefix(19);
  return SameValueName(name, kSettingsKeyName);
}

}  // namespace

bool ParseSettingsText(std::string_view text, SettingsKey& key, std::string& error) {
  key.values.clear();
  bool inKey = false;
  NamedValue* continued = nullptr;  // a hex value whose bytes go on in the next line
  int lineNumber = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (lineNumber == 1 && line.size() >= 3 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    auto fail = [&](const std::string& what) {
      error = "line " + std::to_string(lineNumber) + ": " + what;
      return false;
    };

    if (continued) {
      bool continues = false;
      std::string what;
      if (!ParseHexBytes(line, continued->value.bytes, continues, what)) return fail(what);
      if (!continues) continued = nullptr;
      continue;
    }
    line = Trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (lineNumber == 1 && (line == "REGEDIT4" || line == "Windows Registry Editor Version 5.00")) continue;
    if (line.front() == '[') {
      if (!IsOurKeyHeader(line))
        return fail(std::string(line) + " is not the key [" + std::string(kSettingsKeyName) + "]");
      inKey = true;
      continue;
    }
    if (!inKey) return fail("a value before the key header [" + std::string(kSettingsKeyName) + "]");
    std::string name;
    std::string what;
    if (!ParseQuoted(line, name, what)) return fail("value name: " + what);
    if (name.empty()) return fail("a value needs a name");
    line = Trim(line);
    if (line.empty() || line.front() != '=') return fail("expected = after the value name");
    SettingsValue value;
    bool continues = false;
    if (!ParseValue(line.substr(1), value, continues, what)) return fail("value \"" + name + "\": " + what);
    key.Set(name, std::move(value));
    if (continues) {
      for (auto& v : key.values)
        if (SameValueName(v.name, name)) continued = &v;
    }
  }
  if (continued) {
    error = "line " + std::to_string(lineNumber) + ": the file ends inside a hex value";
    return false;
  }
  return true;
}

// --- the file ------------------------------------------------------------------------------

RegFileSettingsStore::RegFileSettingsStore(std::string path) : path_(std::move(path)) {}

StoreResult RegFileSettingsStore::Load(bool& exists, SettingsKey& key) {
  std::string text;
  std::string error;
  key.values.clear();
  switch (ReadWholeFile(path_, text, error)) {
    case FileReadStatus::Missing: exists = false; return StoreResult::Ok();
    case FileReadStatus::Failed: return StoreResult::Failed("settings file " + error);
    case FileReadStatus::Ok: break;
  }
  exists = true;
  if (!ParseSettingsText(text, key, error))
    return StoreResult::Failed("settings file " + path_ + " does not parse, " + error +
                               "; it is left unchanged until it is mended or removed");
  return StoreResult::Ok();
}

StoreResult RegFileSettingsStore::Save(const SettingsKey& key) {
  std::string error;
  if (!WriteFileAtomically(path_, FormatSettingsText(key), 0600, error, FileModeUse::Exact))
    return StoreResult::Failed("settings file " + error);
  return StoreResult::Ok();
}

template <typename Change>
StoreResult RegFileSettingsStore::Modify(Change change) {
  const std::string folder = DefaultMailFolder(path_);
  std::string error;
  if (!MakeFolders(folder, 0700, error)) return StoreResult::Failed("settings " + error);
  FolderLock lock(folder);
  bool exists = false;
  SettingsKey key;
  StoreResult loaded = Load(exists, key);
  if (!loaded.ok()) return loaded;
  if (!change(exists, key)) return StoreResult::Ok();
  return Save(key);
}

StoreResult RegFileSettingsStore::KeyExists(bool& exists) {
  SettingsKey key;
  return Load(exists, key);
}

StoreResult RegFileSettingsStore::CreateKey() {
  return Modify([](bool exists, SettingsKey&) { return !exists; });
}

StoreResult RegFileSettingsStore::ValueNames(std::vector<std::string>& names) {
  names.clear();
  bool exists = false;
  SettingsKey key;
  StoreResult result = Load(exists, key);
  if (!result.ok()) return result;
  if (!exists) return StoreResult::Missing();
  for (const auto& v : key.values) names.push_back(v.name);
  return result;
}

StoreResult RegFileSettingsStore::Read(std::string_view name, SettingsValue& value) {
  bool exists = false;
  SettingsKey key;
  StoreResult result = Load(exists, key);
  if (!result.ok()) return result;
  const SettingsValue* found = key.Find(name);
  if (!found) return StoreResult::Missing();
  value = *found;
  return result;
}

StoreResult RegFileSettingsStore::Write(std::string_view name, const SettingsValue& value) {
  return Modify([&](bool, SettingsKey& key) {
    key.Set(name, value);
    return true;
  });
}

StoreResult RegFileSettingsStore::DeleteValue(std::string_view name) {
  bool erased = false;
  StoreResult result = Modify([&](bool, SettingsKey& key) { return erased = key.Erase(name); });
  return result.ok() && !erased ? StoreResult::Missing() : result;
}

}  // namespace rur
