// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/log_retention.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace rur::cli {
namespace {

constexpr std::int64_t kSecondsPerDay = 24 * 3600;
constexpr int kCenturyOfTwoDigitYears = 2000;
constexpr std::size_t kStemLength = 6;  // yymmdd

std::int64_t DayNumber(const LocalDateTime& time) {
  return CivilSeconds(LocalDateTime{time.year, time.month, time.day, 0, 0, 0}) / kSecondsPerDay;
}

// The day of a log's name "yymmdd.log"; false for any other name and for dates that do not exist.
bool DayOfLogName(const std::string& name, std::int64_t& day) {
  if (name.size() != kStemLength + 4 || !name.ends_with(".log")) return false;
  if (!std::all_of(name.begin(), name.begin() + kStemLength, [](unsigned char c) { return std::isdigit(c) != 0; }))
    return false;
  const int year = kCenturyOfTwoDigitYears + std::stoi(name.substr(0, 2));
  const int month = std::stoi(name.substr(2, 2));
  const int dayOfMonth = std::stoi(name.substr(4, 2));
  if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31) return false;
  const LocalDateTime date{year, month, dayOfMonth, 0, 0, 0};
  // 310231 would roll into March: such a name is no day log.
  const LocalDateTime back = CivilFromSeconds(CivilSeconds(date));
  if (back.month != month || back.day != dayOfMonth) return false;
  day = DayNumber(date);
  return true;
}

}  // namespace

PruneResult PruneDayLogs(const std::string& folder, const LocalDateTime& today, std::uint32_t keepDays) {
  PruneResult result;
  if (keepDays == 0) return result;
  const std::int64_t oldestKept = DayNumber(today) - keepDays;
  std::error_code error;
  std::vector<std::string> old;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::int64_t day = 0;
    const std::string name = it->path().filename().string();
    // A link or a folder under a log's name is not the program's: it stays.
    if (DayOfLogName(name, day) && day < oldestKept && it->is_regular_file(error) && !it->is_symlink(error))
      old.push_back(name);
  }
  std::sort(old.begin(), old.end());
  for (const std::string& name : old) {
    std::error_code removeError;
    if (std::filesystem::remove(std::filesystem::path(folder) / name, removeError)) {
      result.removed.push_back(name);
    } else if (removeError && result.error.empty()) {
      result.error = name + ": " + removeError.message();
    }
  }
  return result;
}

std::string DailyLogPruning::RunIfNewDay(const LocalDateTime& now) {
  const std::int64_t day = DayNumber(now);
  if (day == lastDay_) return {};
  lastDay_ = day;
  const PruneResult result = PruneDayLogs(folder_, now, keepDays_);
  std::string text;
  if (!result.removed.empty())
    text = "Removed " + std::to_string(result.removed.size()) + " day log" + (result.removed.size() == 1 ? "" : "s") +
           " older than " + std::to_string(keepDays_) + " days (" + result.removed.front() +
           (result.removed.size() > 1 ? " .. " + result.removed.back() : "") + ")";
  if (!result.error.empty())
    text += (text.empty() ? "" : "; ") + std::string("a day log could not be removed: ") + result.error;
  return text;
}

}  // namespace rur::cli
