// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long the day logs stay: the watching process removes the day logs older than the settings
// value "LogKeepDays" (default 400 days; 0 keeps every log) once a day, so a server that watches
// for years does not fill its disk with them.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace rur::cli {

constexpr std::string_view kLogKeepDaysSetting = "LogKeepDays";
constexpr std::uint32_t kDefaultLogKeepDays = 400;

struct PruneResult {
  std::vector<std::string> removed;  // file names, oldest first
  std::string error;                 // the first file that could not be removed, and why
};

// Removes the day logs (yymmdd.log) of `folder` dated more than `keepDays` days before `today`.
// Other files, and names that are no date, are left alone; keepDays 0 removes nothing.
PruneResult PruneDayLogs(const std::string& folder, const LocalDateTime& today, std::uint32_t keepDays);

// Prunes once for every new day of the clock; the first call prunes at once.
class DailyLogPruning {
 public:
  DailyLogPruning(std::string folder, std::uint32_t keepDays) : folder_(std::move(folder)), keepDays_(keepDays) {}
  // A line to tell when something was removed or failed; empty otherwise.
  std::string RunIfNewDay(const LocalDateTime& now);

 private:
  std::string folder_;
  std::uint32_t keepDays_;
  std::int64_t lastDay_ = -1;
};

}  // namespace rur::cli
