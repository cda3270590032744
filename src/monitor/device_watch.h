// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the refresh keeps watching one enclosure whose queries fail. Failures are counted as they
// always were (a failing device is asked only every other cycle); when the count gives up, the
// enclosure is "not answering" and is asked again with a growing delay, at most a minute apart,
// for as long as it stays in the device list. A minute without any answer raises one alarm per
// silence. What the watch knows also says whether the status shown is current.

#include <cstdint>
#include <string>

namespace rur {

// Failures in a row after which the count gives up (a failing device is asked only every other
// cycle, so this is about six failed queries).
constexpr std::uint8_t kFailureLimit = 10;
constexpr std::uint64_t kFirstRetryDelayMs = 10000;
constexpr std::uint64_t kLongestRetryDelayMs = 60000;
constexpr std::uint64_t kSilenceAlarmMs = 60000;

enum class WatchEvent {
  None,
  NotAnswering,    // the failure count gave up
  AnsweringAgain,  // an answer after the count had given up
};

class DeviceWatch {
 public:
  // A watch starts when the enclosure was found; `known` when detection read its members.
  DeviceWatch(std::uint64_t nowMs, bool known, std::string error = {});

  // Whether the enclosure is asked in this cycle; counts a skipped cycle of a failing device.
  bool Due(std::uint64_t nowMs, std::uint8_t& failureCounter);
  WatchEvent Failed(std::uint64_t nowMs, std::uint8_t& failureCounter, std::string error);
  WatchEvent Answered(std::uint64_t nowMs, std::uint8_t& failureCounter);
  // True once per silence, when the enclosure has not answered for a minute and the count gave up.
  bool SilenceAlarmDue(std::uint64_t nowMs);

  bool notAnswering() const { return notAnswering_; }
  // The members were read at least once: the record holds real values.
  bool known() const { return known_; }
  // The last query of this enclosure succeeded.
  bool current() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  std::uint64_t nextTryMs() const { return nextTryMs_; }

 private:
  std::uint64_t lastAnswerMs_;
  std::uint64_t nextTryMs_ = 0;
  std::uint64_t retryDelayMs_ = kFirstRetryDelayMs;
  bool known_;
  bool notAnswering_ = false;
  bool alarmRaised_ = false;
  std::string error_;
};

}  // namespace rur
