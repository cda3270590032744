// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/standalone_mail.h"

#include "notify/system_info.h"

namespace rur {

StandaloneMail::StandaloneMail(const std::string& settingsDataDirectory, Ui& ui, Clock& clock)
    : ui_(ui),
      settings_(OpenSettings(SettingsFilePath(settingsDataDirectory), settingsDataDirectory.empty())),
      center_(*settings_.store, ui_, clock, transport_, DefaultMailFolder(SettingsFilePath(settingsDataDirectory)),
              SystemInfoText(CollectHostFacts())) {}

bool StandaloneMail::Load() {
  center_.StartUp();
  if (center_.MailRequestFlags.load() & kMailRequestLoad) center_.LoadMailSettings();
  return center_.SettingsLoaded();
}

std::vector<std::string> StandaloneMail::TakeMessages() {
  std::vector<std::string> taken;
  taken.swap(ui_.boxes);
  return taken;
}

}  // namespace rur
