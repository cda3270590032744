// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recipients the mail server refused for good, kept for the events that report them: the
// day-log line's tag carries only a number, while the JSON stream and the programs run on events
// want the address and the server's reply. The newest few are kept; the listeners read them as
// the line is written, long before they would fall out.

#include <cstdint>
#include <deque>
#include <utility>

#include "notify/recipient_refusal.h"

namespace rur {

class MailRefusals {
 public:
  // The number to tag the refusal's line with; never 0.
  std::uint32_t Keep(RecipientRefusal refusal) {
    if (kept_.size() == kKept) kept_.pop_front();
    kept_.emplace_back(next_, std::move(refusal));
    return next_++;
  }
  // Null for 0 and for a number no longer kept.
  const RecipientRefusal* Find(std::uint32_t number) const {
    for (const auto& [kept, refusal] : kept_)
      if (kept == number) return &refusal;
    return nullptr;
  }

 private:
  static constexpr std::size_t kKept = 64;
  std::deque<std::pair<std::uint32_t, RecipientRefusal>> kept_;
  std::uint32_t next_ = 1;
};

}  // namespace rur
