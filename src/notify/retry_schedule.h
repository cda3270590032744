// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When an undelivered alarm mail is tried again: soon at first, for a server that restarts, then
// every hour, and no longer once it has waited three days.

#include <array>
#include <cstdint>

namespace rur {

constexpr std::array<std::int64_t, 5> kFirstRetryDelaysSeconds = {60, 120, 300, 600, 1800};
constexpr std::int64_t kLaterRetryDelaySeconds = 3600;
constexpr std::int64_t kGiveUpAfterSeconds = 3 * 24 * 3600;
// A program that starts with mails in its outbox tries them this soon, whatever their schedule.
constexpr std::uint64_t kOutboxStartDelayMs = 2000;

// The wait after the given number of failed attempts (1 after the first failure).
constexpr std::int64_t RetryDelaySeconds(unsigned failedAttempts) {
  return failedAttempts >= 1 && failedAttempts <= kFirstRetryDelaysSeconds.size()
             ? kFirstRetryDelaysSeconds[failedAttempts - 1]
             : kLaterRetryDelaySeconds;
}

}  // namespace rur
