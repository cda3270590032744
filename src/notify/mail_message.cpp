// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/mail_message.h"

#include <cstdio>
#include <random>

#include "notify/quoted_printable.h"
#include "platform/branding.h"
#include "platform/local_time.h"

namespace rur {

std::string MailDateText(std::time_t moment) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm parts{};
  LocalCalendar(moment, parts);
  const long offsetMinutes = UtcOffsetAt(moment) / 60;
  const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[parts.tm_wday % 7],
                parts.tm_mday, kMonths[parts.tm_mon % 12], parts.tm_year + 1900, parts.tm_hour, parts.tm_min,
                parts.tm_sec, offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
  return text;
}

std::string MailDateText(const LocalDateTime& time, int utcOffsetSeconds) {
  static const char* const kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};  // from 1970-01-01
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  constexpr std::int64_t kSecondsPerDay = 86400;
  const std::int64_t seconds = CivilSeconds(time);
  const std::int64_t days = seconds >= 0 ? seconds / kSecondsPerDay : (seconds - kSecondsPerDay + 1) / kSecondsPerDay;
  const long offsetMinutes = utcOffsetSeconds / 60;
  const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[((days % 7) + 7) % 7],
                time.day, kMonths[(time.month + 11) % 12], time.year, time.hour, time.minute, time.second,
                offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
  return text;
}

MessageStamp StampForNow(std::string_view senderAddress, const std::string& date) {
  const std::time_t now = std::time(nullptr);
  std::random_device random;
  const std::size_t at = senderAddress.rfind('@');
  std::string domain = at == std::string_view::npos ? std::string() : std::string(senderAddress.substr(at + 1));
  if (!IsUsableAddress(domain)) domain = "rode-rur.localhost";
  char id[96];
  std::snprintf(id, sizeof id, "%lld.%08x%08x", static_cast<long long>(now), random(), random());
  return MessageStamp{date.empty() ? MailDateText(now) : date, "<" + std::string(id) + "@" + domain + ">"};
}

static bool IsPlainAscii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

static std::string Base64(std::string_view bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += {kDigits[n >> 18], kDigits[(n >> 12) & 63], kDigits[(n >> 6) & 63], kDigits[n & 63]};
  }
  if (i + 1 == bytes.size()) {
    const unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    out += {kDigits[n >> 18], kDigits[(n >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += {kDigits[n >> 18], kDigits[(n >> 12) & 63], kDigits[(n >> 6) & 63], '='};
  }
  return out;
}

std::string EncodeHeaderText(std::string_view text) {
  std::string flat;
  for (const char c : text) flat += (c == '\r' || c == '\n') ? ' ' : c;
  if (IsPlainAscii(flat)) return flat;
  // Encoded words of at most 45 bytes each (60 base64 characters), never splitting a character,
  // folded onto continuation lines so no header line grows too long.
  std::string out;
  std::size_t start = 0;
  while (start < flat.size()) {
    std::size_t end = std::min(flat.size(), start + 45);
    while (end < flat.size() && end > start + 1 && (static_cast<unsigned char>(flat[end]) & 0xC0) == 0x80) --end;
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(std::string_view(flat).substr(start, end - start)) + "?=";
    start = end;
  }
  return out;
}

std::string FormatMailbox(std::string_view name, std::string_view address) {
  std::string flatName;
  for (const char c : name) flatName += (c == '\r' || c == '\n') ? ' ' : c;
  while (!flatName.empty() && flatName.back() == ' ') flatName.pop_back();
  if (flatName.empty()) return std::string(address);
  if (!IsPlainAscii(flatName)) return EncodeHeaderText(flatName) + " <" + std::string(address) + ">";
  std::string quoted = "\"";
  for (const char c : flatName) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\" <" + std::string(address) + ">";
}

bool IsUsableAddress(std::string_view address) {
  if (address.empty()) return false;
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '<' || c == '>') return false;
  }
  return true;
}

std::string TrimAddress(std::string_view address) {
  while (!address.empty() && (address.front() == ' ' || address.front() == '\t')) address.remove_prefix(1);
  while (!address.empty() && (address.back() == ' ' || address.back() == '\t')) address.remove_suffix(1);
  return std::string(address);
}

// Body lines with every line break, lone CR or LF included, as CR LF.
static std::string BodyText(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) {
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\r') {
        if (i + 1 < line.size() && line[i + 1] == '\n') ++i;
        out += "\r\n";
      } else if (line[i] == '\n') {
        out += "\r\n";
      } else {
        out += line[i];
      }
    }
    out += "\r\n";
  }
  return out;
}

std::string ComposeMessage(const OutgoingMail& mail, const MessageStamp& stamp) {
  std::string to;
  for (const auto& recipient : mail.recipients) {
    if (!to.empty()) to += ",\r\n ";
    to += recipient;
  }
  const std::string body = BodyText(mail.body);
  std::string text;
  text += "From: " + FormatMailbox(mail.senderName, mail.senderAddress) + "\r\n";
  text += "To: " + to + "\r\n";
  text += "Subject: " + EncodeHeaderText(mail.subject) + "\r\n";
  text += "Date: " + stamp.date + "\r\n";
  text += "Message-ID: " + stamp.messageId + "\r\n";
  text += "MIME-Version: 1.0\r\n";
  text += "Content-Type: text/plain; charset=UTF-8\r\n";
  // A line too long for SMTP goes quoted-printable; the reader sees the same text.
  const bool encoded = HasOverlongLine(body);
  text += std::string("Content-Transfer-Encoding: ") +
          (encoded              ? "quoted-printable"
           : IsPlainAscii(body) ? "7bit"
                                : "8bit") +
          "\r\n";
  text += "X-Mailer: " + std::string(ApplicationTitle) + "\r\n";
  text += "\r\n";
  text += encoded ? EncodeQuotedPrintable(body) : body;
  return text;
}

}  // namespace rur
