// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/mail_settings.h"

#include <cstdio>

namespace rur {

std::string RecipientValueName(std::size_t index) {
  char name[16];
  std::snprintf(name, sizeof name, "ToAddr_%02X", static_cast<unsigned>(index & 0xFF));
  return name;
}

static std::string_view Caption(int kind) {
  return kind >= 1 && kind <= kAlarmKindCount ? MailKindCaptions[static_cast<std::size_t>(kind - 1)]
                                              : std::string_view{};
}

std::string SubjectFileName(int kind) { return "EmailSubject " + std::string(Caption(kind)) + ".txt"; }

std::string ContentsFileName(int kind) { return "EmailContens " + std::string(Caption(kind)) + ".txt"; }

std::string PathInFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string AccountFromAddress(std::string_view address) { return std::string(address.substr(0, address.find('@'))); }

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

bool ParsePortText(std::string_view text, std::uint16_t& port, std::string& error) {
  unsigned long value = 0;
  bool digits = !text.empty() && text.size() <= 5;
  for (const char c : text) {
    if (c < '0' || c > '9') digits = false;
    if (digits) value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (!digits || value == 0 || value > 65535) {
    error = "The SMTP port \"" + std::string(text) + "\" is not a port number (1 to 65535).";
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

unsigned DeliveryTimeoutSeconds(std::string_view text) {
  unsigned value = 0;
  if (text.empty() || text.size() > 4) return kDefaultDeliveryTimeoutSeconds;
  for (const char c : text) {
    if (c < '0' || c > '9') return kDefaultDeliveryTimeoutSeconds;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value == 0 ? kDefaultDeliveryTimeoutSeconds : value;
}

bool ParseLimitText(std::string_view text, std::uint32_t maximum, std::uint32_t fallback, std::uint32_t& value) {
  if (text.empty()) {
    value = fallback;
    return true;
  }
  std::uint64_t number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned>(c - '0');
    if (number > maximum) return false;
  }
  value = static_cast<std::uint32_t>(number);
  return true;
}

}  // namespace rur
