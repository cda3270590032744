// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A member disk's health as its SMART pages tell it, and what is worse now than what was already
// reported: the verdict of the SMART page, and the raw counts of the attributes that count sectors
// or errors a disk never takes back (reallocated, pending and uncorrectable sectors, reported
// uncorrectable errors, command time-outs).

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "smart/evaluate_smart.h"
#include "smart/smart_page.h"

namespace rur {

constexpr std::array<std::uint8_t, 5> kWatchedCountIds{5, 197, 198, 187, 188};

struct DiskHealthReading {
  SmartVerdict verdict = SmartVerdict::Good;
  std::map<std::uint8_t, std::uint64_t> counts;  // raw values of the watched attributes the disk has
};

// Nothing for a page without attributes (an empty bay, or no pass has read it yet).
std::optional<DiskHealthReading> ReadDiskHealth(const SmartPage& data, const SmartPage& thresholds);

// What was last reported of one disk: the worst verdict and the highest count of each attribute.
struct ReportedHealth {
  SmartVerdict worstVerdict = SmartVerdict::Good;
  std::map<std::uint8_t, std::uint64_t> highestCounts;
  std::int64_t lastSeen = 0;  // local civil seconds of the last reading; 0: not known yet
};

struct HealthChange {
  std::uint8_t attributeId = 0;  // 0: the verdict
  std::uint64_t oldCount = 0;
  std::uint64_t newCount = 0;
  SmartVerdict oldVerdict = SmartVerdict::Good;
  SmartVerdict newVerdict = SmartVerdict::Good;
  bool firstSeen = false;  // a disk never seen before whose verdict is already not good
};

// The changes worth a report: a verdict worse than the worst reported, a count above the highest
// reported. A disk seen for the first time reports only a verdict that is not good; its counts
// are where later growth is measured from. `reported` is null for such a disk.
std::vector<HealthChange> WorseThanReported(const ReportedHealth* reported, const DiskHealthReading& now);
// Folds a reading into what was reported: the worse verdict, the higher counts.
void RememberReported(ReportedHealth& reported, const DiskHealthReading& now);

}  // namespace rur
