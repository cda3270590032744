// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/queued_mail.h"

#include <charconv>

#include "notify/mail_settings.h"

namespace rur {
namespace {

constexpr std::string_view kFormatLine = "RODE RUR outbox mail 1";
constexpr std::string_view kFieldKind = "Kind";
constexpr std::string_view kFieldRaised = "Raised";
constexpr std::string_view kFieldNextTry = "Next-Try";
constexpr std::string_view kFieldAttempts = "Attempts";
constexpr std::string_view kFieldError = "Last-Error";
constexpr std::string_view kFieldMessageId = "Message-ID";
constexpr std::string_view kFieldUnknownOutcomes = "Unknown-Outcomes";
constexpr std::string_view kFieldTo = "To";
constexpr std::string_view kFieldSubject = "Subject";

// A header value stays on its line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

template <typename Number>
bool ParseNumberField(std::string_view text, Number& value) {
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  return failure == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string OutboxFileText(const QueuedMail& mail) {
  std::vector<std::string> lines{std::string(kFormatLine)};
  auto field = [&](std::string_view name, const std::string& value) {
    lines.push_back(std::string(name) + ": " + OneLine(value));
  };
  field(kFieldKind, std::to_string(mail.kind));
  field(kFieldRaised, std::to_string(mail.raisedAt));
  field(kFieldNextTry, std::to_string(mail.nextTryAt));
  field(kFieldAttempts, std::to_string(mail.attempts));
  field(kFieldError, mail.lastError);
  if (!mail.messageId.empty()) field(kFieldMessageId, mail.messageId);
  if (mail.unknownOutcomes != 0) field(kFieldUnknownOutcomes, std::to_string(mail.unknownOutcomes));
  for (const auto& recipient : mail.recipients) field(kFieldTo, recipient);
  field(kFieldSubject, mail.subject);
  lines.emplace_back();
  lines.insert(lines.end(), mail.body.begin(), mail.body.end());
  return JoinTextLines(lines);
}

bool ParseOutboxFile(std::string_view text, QueuedMail& mail, std::string& error) {
  std::vector<std::string> lines = SplitTextLines(text);
  if (lines.empty() || lines.front() != kFormatLine) {
    error = "not an outbox mail (its first line is not \"" + std::string(kFormatLine) + "\")";
    return false;
  }
  QueuedMail parsed;
  bool haveKind = false;
  std::size_t n = 1;
  for (; n < lines.size() && !lines[n].empty(); ++n) {
    const std::string& line = lines[n];
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos) {
      error = "line " + std::to_string(n + 1) + " is not \"Name: value\"";
      return false;
    }
    const std::string_view name(line.data(), colon);
    const std::string value = line.substr(colon + 2);
    bool ok = true;
    if (name == kFieldKind) {
      unsigned kind = 0;
      ok = ParseNumberField(value, kind) && kind >= 1 && kind <= kAlarmKindCount;
      parsed.kind = static_cast<std::uint8_t>(kind);
      haveKind = ok;
    } else if (name == kFieldRaised) {
      ok = ParseNumberField(value, parsed.raisedAt);
    } else if (name == kFieldNextTry) {
      ok = ParseNumberField(value, parsed.nextTryAt);
    } else if (name == kFieldAttempts) {
      ok = ParseNumberField(value, parsed.attempts);
    } else if (name == kFieldError) {
      parsed.lastError = value;
    } else if (name == kFieldMessageId) {
      parsed.messageId = value;
    } else if (name == kFieldUnknownOutcomes) {
      ok = ParseNumberField(value, parsed.unknownOutcomes);
    } else if (name == kFieldTo) {
      parsed.recipients.push_back(value);
    } else if (name == kFieldSubject) {
      parsed.subject = value;
    }
    if (!ok) {
      error = "line " + std::to_string(n + 1) + " has an unusable " + std::string(name);
      return false;
    }
  }
  if (!haveKind || parsed.recipients.empty() || n >= lines.size()) {
    error = "the mail lacks its kind, its recipients or its body";
    return false;
  }
  parsed.body.assign(lines.begin() + static_cast<std::ptrdiff_t>(n + 1), lines.end());
  parsed.id = mail.id;
  mail = std::move(parsed);
  return true;
}

}  // namespace rur
