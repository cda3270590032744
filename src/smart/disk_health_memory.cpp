// SPDX-License-Identifier: GPL-3.0-or-later
#include "smart/disk_health_memory.h"

#include <charconv>
#include <vector>

#include "monitor/ata_text.h"
#include "monitor/event_log.h"
#include "platform/atomic_file.h"

namespace rur {
namespace {

constexpr const char* kFormatLine = "RODE RUR disk health 1";
constexpr std::string_view kSeenField = "seen=";
constexpr std::int64_t kSecondsPerDay = 24 * 3600;

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool ParseVerdict(const std::string& text, SmartVerdict& verdict) {
  for (const SmartVerdict candidate : {SmartVerdict::Good, SmartVerdict::Warning, SmartVerdict::Error}) {
    if (text == VerdictName(candidate)) {
      verdict = candidate;
      return true;
    }
  }
  return false;
}

bool ParseCount(const std::string& field, std::uint8_t& id, std::uint64_t& count) {
  const std::size_t equals = field.find('=');
  if (equals == std::string::npos) return false;
  unsigned number = 0;
  const char* begin = field.data();
  const char* middle = begin + equals;
  const char* end = begin + field.size();
  const auto idParsed = std::from_chars(begin, middle, number);
  const auto countParsed = std::from_chars(middle + 1, end, count);
  if (idParsed.ec != std::errc() || idParsed.ptr != middle || number == 0 || number > 255 ||
      countParsed.ec != std::errc() || countParsed.ptr != end)
    return false;
  id = static_cast<std::uint8_t>(number);
  return true;
}

}  // namespace

std::string DiskHealthFileText(const std::map<std::string, ReportedHealth>& disks) {
  std::vector<std::string> lines{kFormatLine};
  for (const auto& [serial, reported] : disks) {
    std::string line = serial + "\t" + std::string(VerdictName(reported.worstVerdict));
    for (const auto& [id, count] : reported.highestCounts)
      line += "\t" + std::to_string(id) + "=" + std::to_string(count);
    if (reported.lastSeen != 0) line += "\t" + std::string(kSeenField) + std::to_string(reported.lastSeen);
    lines.push_back(std::move(line));
  }
  return JoinLogLines(lines);
}

bool ParseDiskHealthFile(const std::string& text, std::map<std::string, ReportedHealth>& disks, std::string& error) {
  const std::vector<std::string> lines = SplitLogLines(text);
  if (lines.empty() || lines.front() != kFormatLine) {
    error = "not a disk health file (its first line is not \"" + std::string(kFormatLine) + "\")";
    return false;
  }
  std::map<std::string, ReportedHealth> parsed;
  for (std::size_t n = 1; n < lines.size(); ++n) {
    if (lines[n].empty()) continue;
    const std::vector<std::string> fields = Fields(lines[n]);
    ReportedHealth reported;
    bool ok = fields.size() >= 2 && ParseVerdict(fields[1], reported.worstVerdict);
    for (std::size_t f = 2; ok && f < fields.size(); ++f) {
      if (fields[f].starts_with(kSeenField)) {
        const std::string_view seen = std::string_view(fields[f]).substr(kSeenField.size());
        const auto parsed = std::from_chars(seen.data(), seen.data() + seen.size(), reported.lastSeen);
        ok = parsed.ec == std::errc() && parsed.ptr == seen.data() + seen.size() && reported.lastSeen > 0;
        continue;
      }
      std::uint8_t id = 0;
      std::uint64_t count = 0;
      ok = ParseCount(fields[f], id, count);
      if (ok) reported.highestCounts[id] = count;
    }
    if (!ok) {
      error = "line " + std::to_string(n + 1) + " is not \"serial<tab>verdict<tab>id=count...\"";
      return false;
    }
    parsed[fields[0]] = std::move(reported);
  }
  disks = std::move(parsed);
  return true;
}

bool DiskHealthMemory::Load(std::string& error) {
  disks_.clear();
  if (path_.empty()) return true;
  std::string text;
  switch (ReadWholeFile(path_, text, error)) {
    case FileReadStatus::Missing: return true;
    case FileReadStatus::Failed: return false;
    case FileReadStatus::Ok: break;
  }
  if (!ParseDiskHealthFile(text, disks_, error)) {
    error = path_ + ": " + error;
    return false;
  }
  return true;
}

bool DiskHealthMemory::Save(std::string& error) const {
  return path_.empty() || WriteFileAtomically(path_, DiskHealthFileText(disks_), 0640, error, FileModeUse::Exact);
}

bool DiskHealthMemory::ForgetUnseen(std::int64_t now, std::uint32_t keepDays) {
  const std::int64_t oldest = now - static_cast<std::int64_t>(keepDays) * kSecondsPerDay;
  bool forgot = false;
  for (auto disk = disks_.begin(); disk != disks_.end();) {
    if (disk->second.lastSeen == 0) disk->second.lastSeen = now;
    if (disk->second.lastSeen < oldest) {
      disk = disks_.erase(disk);
      forgot = true;
    } else {
      ++disk;
    }
  }
  return forgot;
}

void DiskHealthMemory::TakeEarlierEntry(const std::string& serial) {
  const std::string earlier = EarlierSerialKey(serial);
  const auto found = disks_.find(earlier);
  if (earlier.empty() || found == disks_.end() || disks_.contains(serial)) return;
  disks_[serial] = found->second;
  disks_.erase(found);
}

const ReportedHealth* DiskHealthMemory::Find(const std::string& serial) const {
  const auto found = disks_.find(serial);
  return found == disks_.end() ? nullptr : &found->second;
}

}  // namespace rur
