// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/watch_settings.h"

#include "cli/log_retention.h"
#include "notify/mail_settings.h"
#include "notify/reg_file_store.h"

namespace rur::cli {

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
