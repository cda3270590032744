// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Time for the engine: a monotonic millisecond count, sleeping, and the local date-time used
// for stamps and day-file names. Tests and --virtual-time use the virtual clock, whose sleep only
// moves time forward, so the protocol's waits cost nothing and runs repeat exactly.

#include <cstdint>
#include <mutex>

#include "transport/pacing.h"

namespace rur {

struct LocalDateTime {
  int year = 2000;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const LocalDateTime&) const = default;
};

class Clock : public PollClock {
 public:
  virtual LocalDateTime localTime() = 0;
  virtual bool isVirtual() const { return false; }
  // How far a local time of this clock is ahead of UTC, in seconds (east positive).
  virtual int utcOffsetSeconds(const LocalDateTime& time) const;
};

class RealClock final : public Clock {
 public:
  std::uint64_t nowMs() override;
  void sleepMs(std::uint64_t ms) override;
  LocalDateTime localTime() override;
};

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(LocalDateTime start = LocalDateTime{2026, 1, 1, 0, 0, 0});
  std::uint64_t nowMs() override;
  void sleepMs(std::uint64_t ms) override;
  LocalDateTime localTime() override;
  bool isVirtual() const override { return true; }
  // Virtual time keeps no time zone: its stamps read as UTC.
  int utcOffsetSeconds(const LocalDateTime&) const override { return 0; }
  void advanceMs(std::uint64_t ms) { sleepMs(ms); }

 private:
  std::mutex mutex_;
  std::int64_t startSeconds_;  // the start as seconds of a calendar without time zones
  std::uint64_t elapsedMs_ = 0;
};

// Civil date-time arithmetic without a time zone: seconds since 1970-01-01 00:00:00 and back.
std::int64_t CivilSeconds(const LocalDateTime& time);
LocalDateTime CivilFromSeconds(std::int64_t seconds);

}  // namespace rur
