// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mail settings of rode-rurd, for a window that is its client: read from the service and
// changed through it. Each change is the service's to check and polkit's to allow (polkit may ask
// the user); a refusal comes back as the service's message.

#include <string>

#include "notify/mail_page_model.h"

namespace rur::ui {

// Fills the page from the service's settings and recipients.
bool LoadServiceMailPage(MailPageModel& page, std::string& error);
// Stores what differs between `before` and `after`, then the password when one was typed.
bool SaveServiceMailPage(const MailPageModel& before, const MailPageModel& after, std::string& error);
bool AddServiceRecipient(const std::string& address, std::string& error);
bool RemoveServiceRecipient(const std::string& address, std::string& error);
// Waits for the service's test mail, the window answering meanwhile.
bool SendServiceTestMail(std::string& error);

}  // namespace rur::ui
