// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/mail_page_changes.h"

#include <charconv>
#include <cstdint>
#include <string_view>

namespace rur {
namespace {

constexpr MailPageTextField kTextFields[] = {
    {kValueHost, &MailPageModel::host, kDirtyHost},
    {kValuePort, &MailPageModel::port, kDirtyPort},
    {kValueSenderName, &MailPageModel::senderName, kDirtySenderName},
    {kValueSenderAddress, &MailPageModel::senderAddress, kDirtySenderAddress},
    {kValueTimeOut, &MailPageModel::timeOut, kDirtyTimeOut},
    {kValueAccount, &MailPageModel::account, kDirtyAccount},
    {kValueImplicitTls, &MailPageModel::implicitTls, 0},
    {kValueCaFile, &MailPageModel::caFile, 0},
    {kValueMailFolder, &MailPageModel::mailFolder, 0},
    {kValueTempAlarm, &MailPageModel::tempAlarm, 0},
    {kValueFanMinRpm, &MailPageModel::fanMinRpm, 0},
};

struct Switch {
  std::string_view key;
  bool MailPageModel::*field;
};
constexpr Switch kSwitches[] = {
    {kLoginSwitch, &MailPageModel::login},
    {kValueAllowPlainLogin, &MailPageModel::allowPlainLogin},
};

std::uint32_t SuppressMask(const MailPageModel& page) {
  std::uint32_t mask = 0;
  for (std::size_t i = 0; i < page.kinds.size(); ++i)
    if (page.kinds[i].suppress) mask |= 1u << i;
  return mask;
}

}  // namespace

std::span<const MailPageTextField> MailPageTextFields() { return kTextFields; }

void FillMailPageFromService(const std::map<std::string, std::string>& values,
                             const std::vector<std::string>& recipients, MailPageModel& page) {
  const auto value = [&values](std::string_view key) {
    const auto found = values.find(std::string(key));
    return found == values.end() ? std::string() : found->second;
  };
  for (const MailPageTextField& text : kTextFields) page.*text.field = value(text.key);
  for (const Switch& box : kSwitches) page.*box.field = value(box.key) == "1";
  const std::string maskText = value(kValueSuppressMask);
  std::uint32_t mask = 0;
  std::from_chars(maskText.data(), maskText.data() + maskText.size(), mask);  // none sent: every kind mailed
  for (std::size_t i = 0; i < page.kinds.size(); ++i) page.kinds[i].suppress = ((mask >> i) & 1u) != 0;
  page.password.clear();
  page.recipientEditor = recipients;
}

std::vector<MailSettingChange> MailPageChanges(const MailPageModel& before, const MailPageModel& after) {
  std::vector<MailSettingChange> changes;
  for (const MailPageTextField& text : kTextFields)
    if (before.*text.field != after.*text.field) changes.push_back({std::string(text.key), after.*text.field});
  for (const Switch& box : kSwitches)
    if (before.*box.field != after.*box.field) changes.push_back({std::string(box.key), after.*box.field ? "1" : "0"});
  if (SuppressMask(before) != SuppressMask(after))
    changes.push_back({std::string(kValueSuppressMask), std::to_string(SuppressMask(after))});
  return changes;
}

}  // namespace rur
