// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One alarm mail on its way: composed, kept in the outbox until the server took it, with what
// its attempts so far came to. On disk it is a small text file: a first line that names the
// format, "Name: value" lines, an empty line and the body.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rur {

struct QueuedMail {
  std::string id;              // the file's name without ".mail"
  std::uint8_t kind = 0;       // alarm kind 1..5
  std::int64_t raisedAt = 0;   // wall time of the first alarm in it, civil seconds
  std::int64_t nextTryAt = 0;  // wall time of the next attempt as scheduled (a new run tries at once)
  unsigned attempts = 0;
  std::string lastError;
  std::string messageId;         // kept for every attempt, so that receivers can fold copies
  unsigned unknownOutcomes = 0;  // attempts that sent the whole mail and got no verdict
  std::vector<std::string> recipients;
  std::string subject;
  std::vector<std::string> body;

  // Not stored: program time of the next attempt in this run, and whether the file was written.
  std::uint64_t dueMs = 0;
  bool onDisk = false;
};

constexpr std::string_view kOutboxFileEnding = ".mail";

std::string OutboxFileText(const QueuedMail& mail);
// False with the reason when the text is not an outbox file; `mail.id` is left to the caller.
bool ParseOutboxFile(std::string_view text, QueuedMail& mail, std::string& error);

}  // namespace rur
