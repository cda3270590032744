// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/watch_settings.h"

#include <filesystem>

#include "cli/log_retention.h"
#include "notify/mail_settings.h"
#include "notify/reg_file_store.h"

namespace rur::cli {

std::string UnusableSettingsFile(const std::string& settingsPath) {
  namespace fs = std::filesystem;
  std::error_code failure;
  const fs::file_status status = fs::symlink_status(settingsPath, failure);
  if (failure || status.type() == fs::file_type::not_found || status.type() == fs::file_type::regular) return {};
  const std::string what = status.type() == fs::file_type::symlink     ? "a symbolic link, which is not followed"
                           : status.type() == fs::file_type::fifo      ? "a FIFO"
                           : status.type() == fs::file_type::directory ? "a folder"
                                                                       : "not a regular file";
  return "the settings file " + settingsPath + " is " + what + "; remove it or put the settings file there";
}

WatchSettings ReadWatchSettings(const std::string& settingsPath) {
  RegFileSettingsStore store(settingsPath);
  WatchSettings settings;
  if (!store.ReadInteger(kLogKeepDaysSetting, settings.logKeepDays).ok()) settings.logKeepDays = kDefaultLogKeepDays;
  std::string host;
  std::uint32_t recipients = 0;
  const bool hasHost = store.ReadString(kValueHost, host).ok() && !host.empty();
  const bool hasRecipient = store.ReadInteger(kValueRecipientCount, recipients).ok() && recipients > 0;
  const std::string what = !hasHost && !hasRecipient ? "No mail server (SMTP) and no recipient are set"
                           : !hasHost                ? "No mail server (SMTP) is set"
                                                     : "No recipient of the alarm mails is set";
  if (!hasHost || !hasRecipient)
    settings.mailNotice = what + ": alarms will only reach the log, the metrics and the desktop (rurctl mail-set, " +
                          "rurctl mail-recipients).";
  return settings;
}

}  // namespace rur::cli
