// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The changes of the E-mail page without the window: one setting, the password, a recipient. Each
// goes through the page's own model and save, so the same checks apply and the stored file is the
// one the window reads. rurctl makes them in-process and the service for its callers.

#include <string>

#include "platform/clock.h"
#include "platform/user_interface.h"

namespace rur::cli {

// The outcome: an exit status of rurctl (0, 1 for a refused save, 2 for a value that is not
// taken) and, on success, the lines to print, else the message of the failure.
struct MailChange {
  int status = 0;
  std::string text;
};

// `folder` holds the settings file; empty: the system settings folder.
MailChange ChangeMailSetting(const std::string& folder, Ui& ui, Clock& clock, const std::string& key,
                             const std::string& value);
MailChange ChangeMailPassword(const std::string& folder, Ui& ui, Clock& clock, const std::string& password);
// `action` "add" or "remove".
MailChange ChangeRecipient(const std::string& folder, Ui& ui, Clock& clock, const std::string& action,
                           const std::string& address);

// Reads the password from standard input, unseen when typed at a terminal; false with a message
// when it is longer than can be stored.
bool ReadPassword(std::string& password, std::string& error);

}  // namespace rur::cli
