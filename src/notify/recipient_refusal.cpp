// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/recipient_refusal.h"

#include <cctype>

namespace rur {

namespace {
constexpr std::size_t kReplyCodeLength = 3;
}

RecipientRefusal ParseRecipientRefusal(const std::string& refusal) {
  RecipientRefusal parsed;
  const std::size_t open = refusal.find(" (");
  parsed.address = refusal.substr(0, open);
  if (open == std::string::npos || refusal.back() != ')') return parsed;
  parsed.reply = refusal.substr(open + 2, refusal.size() - open - 3);
  const std::string& reply = parsed.reply;
  bool coded = reply.size() >= kReplyCodeLength;
  for (std::size_t i = 0; coded && i < kReplyCodeLength; ++i)
    coded = std::isdigit(static_cast<unsigned char>(reply[i])) != 0;
  if (!coded) {
    parsed.text = reply;
    return parsed;
  }
  parsed.code = std::stoi(reply.substr(0, kReplyCodeLength));
  // "550 text" and the last line of "550-..." alike: the separator is not part of the text.
  parsed.text = reply.size() > kReplyCodeLength ? reply.substr(kReplyCodeLength + 1) : std::string();
  return parsed;
}

}  // namespace rur
