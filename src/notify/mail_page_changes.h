// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The E-mail page of a window whose host's service keeps the mail settings: the page filled from
// the settings the service shows, and what a save changes, as the service takes it (one stored
// value at a time, under the names the settings file uses). The password and the recipients go
// their own ways; the subjects and texts stay in the service's mail folder.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "notify/mail_page_model.h"

namespace rur {

// A text field of the page, the stored value it shows and the edit bit a change of it raises (0:
// the value is not on the page).
struct MailPageTextField {
  std::string_view key;
  std::string MailPageModel::*field;
  std::uint8_t dirty;
};
// Every one, in the page's order.
std::span<const MailPageTextField> MailPageTextFields();

struct MailSettingChange {
  std::string key;    // "SMTP", "Port", "Login", "EMailSend", ...
  std::string value;  // as text; switches "1" or "0"
};

// `values`: the service's settings as text (switches "1" or "0"). The page's password stays empty.
void FillMailPageFromService(const std::map<std::string, std::string>& values,
                             const std::vector<std::string>& recipients, MailPageModel& page);

// The settings that differ between the page as it was filled and as it is now, in the order the
// page shows them.
std::vector<MailSettingChange> MailPageChanges(const MailPageModel& before, const MailPageModel& after);

}  // namespace rur
