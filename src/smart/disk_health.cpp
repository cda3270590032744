// SPDX-License-Identifier: GPL-3.0-or-later
#include "smart/disk_health.h"

#include <algorithm>

namespace rur {

std::optional<DiskHealthReading> ReadDiskHealth(const SmartPage& data, const SmartPage& thresholds) {
  const SmartPageModel graded = EvaluateSmart(SmartEvaluationInput{data, thresholds, 0, {}, {}, true});
  if (graded.rows.empty()) return std::nullopt;
  DiskHealthReading reading;
  reading.verdict = VerdictOfGrade(graded.driveGrade);
  for (const SmartRow& row : graded.rows) {
    const std::uint8_t id = row.attribute.id;
    if (std::find(kWatchedCountIds.begin(), kWatchedCountIds.end(), id) == kWatchedCountIds.end()) continue;
    std::uint64_t raw = 0;
    for (std::size_t i = kSmartRawSize; i-- > 0;) raw = (raw << 8) | row.attribute.raw[i];
    // A page that lists an attribute twice counts the higher value.
    reading.counts[id] = std::max(reading.counts[id], raw);
  }
  return reading;
}

std::vector<HealthChange> WorseThanReported(const ReportedHealth* reported, const DiskHealthReading& now) {
  std::vector<HealthChange> changes;
  if (reported == nullptr) {
    if (now.verdict != SmartVerdict::Good) {
      HealthChange change;
      change.newVerdict = now.verdict;
      change.firstSeen = true;
      changes.push_back(change);
    }
    return changes;
  }
  if (now.verdict > reported->worstVerdict) {
    HealthChange change;
    change.oldVerdict = reported->worstVerdict;
    change.newVerdict = now.verdict;
    changes.push_back(change);
  }
  for (const auto& [id, count] : now.counts) {
    const auto known = reported->highestCounts.find(id);
    if (known == reported->highestCounts.end() || count <= known->second) continue;
    HealthChange change;
    change.attributeId = id;
    change.oldCount = known->second;
    change.newCount = count;
    changes.push_back(change);
  }
  return changes;
}

void RememberReported(ReportedHealth& reported, const DiskHealthReading& now) {
  reported.worstVerdict = std::max(reported.worstVerdict, now.verdict);
  for (const auto& [id, count] : now.counts) {
    auto [at, added] = reported.highestCounts.emplace(id, count);
    if (!added) at->second = std::max(at->second, count);
  }
}

}  // namespace rur
