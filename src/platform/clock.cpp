// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/local_time.h"

namespace rur {

std::uint64_t RealClock::nowMs() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void RealClock::sleepMs(std::uint64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

LocalDateTime RealClock::localTime() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  LocalCalendar(now, parts);
  return LocalDateTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                       parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

int Clock::utcOffsetSeconds(const LocalDateTime& time) const {
  std::tm parts{};
  parts.tm_year = time.year - 1900;
  parts.tm_mon = time.month - 1;
  parts.tm_mday = time.day;
  parts.tm_hour = time.hour;
  parts.tm_min = time.minute;
  parts.tm_sec = time.second;
  parts.tm_isdst = -1;
  const std::time_t instant = std::mktime(&parts);
  if (instant == static_cast<std::time_t>(-1)) return 0;
  return static_cast<int>(UtcOffsetAt(instant));
}

VirtualClock::VirtualClock(LocalDateTime start) : startSeconds_(CivilSeconds(start)) {}

std::uint64_t VirtualClock::nowMs() {
  std::lock_guard lock(mutex_);
  return elapsedMs_;
}

void VirtualClock::sleepMs(std::uint64_t ms) {
  std::lock_guard lock(mutex_);
  elapsedMs_ += ms;
}

LocalDateTime VirtualClock::localTime() {
  std::lock_guard lock(mutex_);
  return CivilFromSeconds(startSeconds_ + static_cast<std::int64_t>(elapsedMs_ / 1000));
}

// Days from civil date, after the well-known proleptic Gregorian algorithm.
static std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t CivilSeconds(const LocalDateTime& t) {
  return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 + t.hour * 3600 +
         t.minute * 60 + t.second;
}

LocalDateTime CivilFromSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  return LocalDateTime{static_cast<int>(y),
                       static_cast<int>(m),
                       static_cast<int>(d),
                       static_cast<int>(rest / 3600),
                       static_cast<int>(rest % 3600 / 60),
                       static_cast<int>(rest % 60)};
}

}  // namespace rur
