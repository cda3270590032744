// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Counts every alarm the watch raises, by kind, whether its mail is switched off, suppressed or
// sent: what the metrics report, so an alert on them fires even when no mail goes out.

#include <array>
#include <cstdint>

namespace rur {

// Kinds 1..5: drive failure, enclosure removed, over-temperature, fan failure, disk health.
constexpr unsigned kAlarmKinds = 5;

class AlarmCentre {
 public:
  void Count(std::uint8_t kind) {
    if (kind >= 1 && kind <= kAlarmKinds) ++raised_[kind - 1u];
  }
  std::uint64_t RaisedOfKind(unsigned kind) const { return kind >= 1 && kind <= kAlarmKinds ? raised_[kind - 1] : 0; }

 private:
  std::array<std::uint64_t, kAlarmKinds> raised_{};
};

}  // namespace rur
