// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every value the settings file KV_RODE_RUR.reg may hold, with its type and default as the
// manual rode-rur-settings(5) gives them, and the words rurctl mail-set takes for it. The manual
// and the shell completion are checked against this table, so a new value cannot go unmentioned.

#include <string>
#include <vector>

namespace rur::cli {

struct SettingKey {
  std::string name;
  std::string type;                       // string, dword or hex
  std::string defaultText;                // as the manual words it
  std::vector<std::string> mailSetWords;  // the KEYs of rurctl mail-set that change it; none: not that way
};

const std::vector<SettingKey>& SettingKeys();

// The KEYs rurctl mail-set takes, in the table's order.
std::vector<std::string> MailSetKeys();

}  // namespace rur::cli
