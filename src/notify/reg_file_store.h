// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings key kept as one text file in the registry-export style:
//
//   [SOFTWARE\KV_RODE_RUR]
//   "Port"="25"
//   "EMailSend"=dword:00000000
//   "ProductID"=hex:1f,00,...
//
// The file is the key: no file, no key. Every change rewrites the whole file atomically with
// mode 0600, because it holds the scrambled mail password. A file that does not parse is
// reported with its line and is never overwritten: every write fails until someone mends it.

#include <string>
#include <string_view>

#include "notify/settings_store.h"

namespace rur {

constexpr std::string_view kSettingsKeyName = "SOFTWARE\\KV_RODE_RUR";
constexpr std::string_view kSettingsFileName = "KV_RODE_RUR.reg";

// The settings file of a run: in the data directory when there is one (simulated runs and
// --data-dir), else in the system folder (SystemSettingsFolder).
std::string SettingsFilePath(const std::string& dataDirectory);
// A warning when the settings file can be read by other users (it holds the scrambled mail
// password); empty when it is private or missing.
std::string SettingsFileExposureWarning(const std::string& settingsFilePath);
// The folder of a settings file, ending in "/": the default home of the mail text files.
std::string DefaultMailFolder(const std::string& settingsFilePath);

// Text of the file and back. Parsing fails with "line N: what is wrong".
std::string FormatSettingsText(const SettingsKey& key);
bool ParseSettingsText(std::string_view text, SettingsKey& key, std::string& error);

class RegFileSettingsStore final : public SettingsStore {
 public:
  explicit RegFileSettingsStore(std::string path);
  const std::string& path() const { return path_; }

  StoreResult KeyExists(bool& exists) override;
  StoreResult CreateKey() override;
  StoreResult ValueNames(std::vector<std::string>& names) override;
  StoreResult Read(std::string_view name, SettingsValue& value) override;
  StoreResult Write(std::string_view name, const SettingsValue& value) override;
  StoreResult DeleteValue(std::string_view name) override;

 private:
  StoreResult Load(bool& exists, SettingsKey& key);
  StoreResult Save(const SettingsKey& key);
  // Read, change (the change says whether it changed anything) and write back under a lock on the folder, so two
  // programs that change settings at once do not lose each other's values.
  template <typename Change>
  StoreResult Modify(Change change);

  std::string path_;
};

}  // namespace rur
