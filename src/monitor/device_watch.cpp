// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/device_watch.h"

#include <algorithm>

namespace rur {

DeviceWatch::DeviceWatch(std::uint64_t nowMs, bool known, std::string error)
    : lastAnswerMs_(nowMs), known_(known), error_(std::move(error)) {}

bool DeviceWatch::Due(std::uint64_t nowMs, std::uint8_t& failureCounter) {
  // Cycles come every 5 s, give or take the poller's step: half a cycle early is on time.
  constexpr std::uint64_t kHalfCycleMs = 2500;
  if (notAnswering_) return nowMs + kHalfCycleMs >= nextTryMs_;
  if (failureCounter & 1u) {
    ++failureCounter;
    return false;
  }
  return true;
}

WatchEvent DeviceWatch::Failed(std::uint64_t nowMs, std::uint8_t& failureCounter, std::string error) {
  error_ = error.empty() ? std::string("no answer") : std::move(error);
  if (notAnswering_) {
    retryDelayMs_ = std::min(retryDelayMs_ * 2, kLongestRetryDelayMs);
    nextTryMs_ = nowMs + retryDelayMs_;
    return WatchEvent::None;
  }
  if (++failureCounter <= kFailureLimit) return WatchEvent::None;
  failureCounter = 0;
  notAnswering_ = true;
  retryDelayMs_ = kFirstRetryDelayMs;
  nextTryMs_ = nowMs + retryDelayMs_;
  return WatchEvent::NotAnswering;
}

WatchEvent DeviceWatch::Answered(std::uint64_t nowMs, std::uint8_t& failureCounter) {
  failureCounter = 0;
  lastAnswerMs_ = nowMs;
  known_ = true;
  error_.clear();
  alarmRaised_ = false;
  if (!notAnswering_) return WatchEvent::None;
  notAnswering_ = false;
  return WatchEvent::AnsweringAgain;
}

bool DeviceWatch::SilenceAlarmDue(std::uint64_t nowMs) {
  if (!notAnswering_ || alarmRaised_ || nowMs < lastAnswerMs_ + kSilenceAlarmMs) return false;
  alarmRaised_ = true;
  return true;
}

}  // namespace rur
