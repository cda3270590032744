// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/mail_changes.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "cli/command_arguments.h"
#include "cli/command_table.h"
#include "cli/settings_keys.h"
#include "notify/mail_page_changes.h"
#include "notify/mail_page_model.h"
#include "notify/standalone_mail.h"
#include "platform/terminal_input.h"

namespace rur::cli {
namespace {

bool ParseSwitch(const std::string& text, bool& value) {
  if (text == "1" || text == "on" || text == "yes" || text == "true") return value = true, true;
  if (text == "0" || text == "off" || text == "no" || text == "false") return value = false, true;
  return false;
}

// The longest text a field of the page takes: its edits hold no more.
constexpr std::size_t kMailTextMaxLength = 255;

// Why a text field's value cannot be stored, or empty when it can: no line breaks or other control
// characters (they would end up in the mail's headers or the settings file), no more than an edit
// holds, and folders and files named by absolute paths that climb nowhere.
std::string TextRefusal(const std::string& key, const std::string& value) {
  if (value.size() > kMailTextMaxLength)
    return key + " takes at most " + std::to_string(kMailTextMaxLength) + " bytes, not " + std::to_string(value.size());
  for (const char c : value)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return key + " takes no line breaks or control characters";
  if ((key == kValueMailFolder || key == kValueCaFile) && !value.empty()) {
    // Absolute as the system names paths: "/..." here, a drive's "C:\..." on Windows.
    const std::filesystem::path path(value);
    if (!path.is_absolute()) return key + " takes an absolute path, not " + value;
    for (const auto& part : path)
      if (part == "..") return key + " takes a path without .., not " + value;
  }
  if (key == kValueCaFile && !value.empty()) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(value, error)) return "CAFile names no file: " + value;
  }
  return {};
}

// The page's field for KEY; false with a message for a key that is not set this way.
bool ApplySetting(MailCenter& center, MailPageModel& page, const std::string& key, const std::string& value,
                  std::string& error) {
  if (key == kValuePort) {
    std::uint16_t port = 0;
    if (!ParsePortText(value, port, error)) return false;
    page.port = value;
    center.EditChanged(kDirtyPort);
    return true;
  }
  if (key == kValueTimeOut) {
    std::uint64_t seconds = 0;
    if (!ParseNumber(value, 3600, seconds) || value.find('x') != std::string::npos) {
      error = "TimeOut takes a number of seconds (0 for the default, at most 3600)";
      return false;
    }
    page.timeOut = std::to_string(seconds);
    center.EditChanged(kDirtyTimeOut);
    return true;
  }
  // Every other text field takes the value as it stands.
  for (const MailPageTextField& text : MailPageTextFields()) {
    if (key != text.key) continue;
    if (error = TextRefusal(key, value); !error.empty()) return false;
    page.*text.field = value;
    if (text.dirty != 0) center.EditChanged(text.dirty);
    return true;
  }
  if (key == kLoginSwitch || key == kValueAllowPlainLogin) {
    bool on = false;
    if (!ParseSwitch(value, on)) {
      error = key + " takes on or off (1 or 0)";
      return false;
    }
    (key == kLoginSwitch ? page.login : page.allowPlainLogin) = on;
    return true;
  }
  if (key == kValueSuppressMask) {
    std::uint64_t mask = 0;
    if (!ParseNumber(value, (1u << kEditedKindCount) - 1, mask)) {
      error = "EMailSend takes a mask from 0 to " + std::to_string((1u << kEditedKindCount) - 1) +
              " (bit k-1 set: no mail for alarm kind k)";
      return false;
    }
    for (std::size_t i = 0; i < page.kinds.size(); ++i) page.kinds[i].suppress = ((mask >> i) & 1u) != 0;
    return true;
  }
  if (key == "Password") {
    error = "the password is read from standard input: mail-set Password -";
    return false;
  }
  if (key == kValueRecipientCount || key.rfind("ToAddr_", 0) == 0) {
    error = "the recipients change with rurctl mail-recipients add|remove ADDRESS";
    return false;
  }
  if (key == kValuePasswordBlock) {
    error = "the password block is set with the keys Password and Login";
    return false;
  }
  const std::vector<std::string> keys = MailSetKeys();
  error = "unknown setting " + key + "; the keys: ";
  for (std::size_t i = 0; i < keys.size(); ++i) error += (i == 0 ? "" : ", ") + keys[i];
  return false;
}

// The stored settings loaded into the page as the window does when the page opens.
struct MailPage {
  MailPage(const std::string& folder, Ui& ui, Clock& clock) : mail(folder, ui, clock) {
    mail.Load();
    mail.TakeMessages();
    mail.center().ShowMailPage(page);
  }

  std::string Messages() {
    std::string messages;
    for (const auto& message : mail.TakeMessages()) messages += (messages.empty() ? "" : " ") + message;
    return messages;
  }

  MailChange Save() {
    if (!mail.center().SaveMailSettings(page)) {
      const std::string messages = Messages();
      return {kExitFailed, messages.empty() ? "the settings could not be saved" : messages};
    }
    return {kExitOk, "Saved to " + mail.settingsPath() + ".\n"};
  }

  StandaloneMail mail;
  MailPageModel page;
};

}  // namespace

MailChange ChangeMailSetting(const std::string& folder, Ui& ui, Clock& clock, const std::string& key,
                             const std::string& value) {
  MailPage mail(folder, ui, clock);
  std::string error;
  if (!ApplySetting(mail.mail.center(), mail.page, key, value, error)) return {kExitUsage, error};
  return mail.Save();
}

MailChange ChangeMailPassword(const std::string& folder, Ui& ui, Clock& clock, const std::string& password) {
  if (password.size() > kPasswordMaxLength)
    return {kExitUsage, "the password is " + std::to_string(password.size()) + " bytes long; at most " +
                            std::to_string(kPasswordMaxLength) + " bytes can be stored"};
  MailPage mail(folder, ui, clock);
  mail.page.password = password;
  mail.mail.center().EditChanged(kDirtyPassword);
  return mail.Save();
}

MailChange ChangeRecipient(const std::string& folder, Ui& ui, Clock& clock, const std::string& action,
                           const std::string& address) {
  if (action != "add" && action != "remove") return {kExitUsage, "expected add or remove, not " + action};
  MailPage mail(folder, ui, clock);
  MailCenter& center = mail.mail.center();
  auto& list = mail.page.recipientEditor;
  const auto found = std::find(list.begin(), list.end(), address);
  center.ShowSubPage(mail.page, kMailSubPageHddFail);
  if (action == "add") {
    if (found != list.end()) return {kExitOk, address + " is a recipient already.\n"};
    if (list.size() >= kMaxRecipients)
      return {kExitFailed,
              "there are " + std::to_string(kMaxRecipients) + " recipients already, the most the list holds"};
    mail.page.kinds[0].addAddress = address;
    center.AddRecipient(mail.page);
    if (std::find(list.begin(), list.end(), address) == list.end()) {
      const std::string messages = mail.Messages();
      return {kExitUsage, messages.empty() ? address + " was not added" : messages};
    }
  } else {
    if (found == list.end()) return {kExitFailed, address + " is no recipient"};
    center.SelectRecipient(mail.page, static_cast<int>(found - list.begin()));
    center.RemoveRecipient(mail.page);
  }
  return mail.Save();
}

bool ReadPassword(std::string& password, std::string& error) {
  // Typed at a terminal, the password is not shown.
  const bool terminal = HideTyping();
  if (terminal) std::cerr << "Password: " << std::flush;
  if (!std::getline(std::cin, password)) password.clear();
  if (terminal) {
    ShowTyping();
    std::cerr << '\n';
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.size() > kPasswordMaxLength) {
    error = "the password is " + std::to_string(password.size()) + " bytes long; at most " +
            std::to_string(kPasswordMaxLength) + " bytes can be stored";
    return false;
  }
  return true;
}

}  // namespace rur::cli
