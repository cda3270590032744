// SPDX-License-Identifier: GPL-3.0-or-later
// Outbox files may be damaged by a full disk or a careless hand: whatever bytes they hold, parsing
// must end cleanly, and what parses must be written and read back to the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "notify/queued_mail.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rur::QueuedMail mail;
  std::string error;
  if (!rur::ParseOutboxFile(std::string_view(reinterpret_cast<const char*>(data), size), mail, error)) return 0;
  const std::string written = rur::OutboxFileText(mail);
  rur::QueuedMail again;
  if (!rur::ParseOutboxFile(written, again, error)) std::abort();
  if (rur::OutboxFileText(again) != written) std::abort();
  return 0;
}
