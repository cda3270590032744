// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/settings_keys.h"

#include "app/program.h"
#include "cli/log_retention.h"
#include "notify/mail_settings.h"

namespace rur::cli {
namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

const std::vector<SettingKey>& SettingKeys() {
  static const std::vector<SettingKey> keys{
      {std::string(kValuePort), "string", Quoted(kDefaultPort), {std::string(kValuePort)}},
      {std::string(kValueHost), "string", "empty", {std::string(kValueHost)}},
      {std::string(kValueSenderName), "string", "empty", {std::string(kValueSenderName)}},
      {std::string(kValueSenderAddress), "string", "empty", {std::string(kValueSenderAddress)}},
      {std::string(kValueTimeOut), "string", Quoted(kDefaultTimeOut), {std::string(kValueTimeOut)}},
      {std::string(kValueAccount), "string", "the part of Addr before the \"@\"", {std::string(kValueAccount)}},
      {std::string(kValuePasswordBlock), "hex", "none (no login)", {std::string(kLoginSwitch), "Password"}},
      {std::string(kValueRecipientCount), "dword", "0", {}},
      {RecipientValueName(0), "string", "none", {}},
      {std::string(kValueSuppressMask), "dword", "0", {std::string(kValueSuppressMask)}},
      {std::string(kValueMailFolder), "string", "the settings folder", {std::string(kValueMailFolder)}},
      {std::string(kValueAllowPlainLogin), "dword", "0", {std::string(kValueAllowPlainLogin)}},
      {std::string(kValueCaFile), "string", "empty (the system's certificates)", {std::string(kValueCaFile)}},
      {std::string(kValueImplicitTls), "string", "empty", {std::string(kValueImplicitTls)}},
      {std::string(kValueFanMinRpm), "dword", "0", {std::string(kValueFanMinRpm)}},
      {std::string(kValueTempAlarm), "dword", std::to_string(kDefaultTempAlarm), {std::string(kValueTempAlarm)}},
      {"MetricsTextfileDir", "string", "empty (no metrics)", {}},
      {kProbeAllDisksSetting, "dword", "0", {}},
      {std::string(kLogKeepDaysSetting), "dword", std::to_string(kDefaultLogKeepDays), {}},
  };
  return keys;
}

std::vector<std::string> MailSetKeys() {
  std::vector<std::string> words;
  for (const SettingKey& key : SettingKeys())
    words.insert(words.end(), key.mailSetWords.begin(), key.mailSetWords.end());
  return words;
}

}  // namespace rur::cli
