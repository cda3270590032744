// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/bay_memory.h"

#include "monitor/ata_text.h"
#include "monitor/event_log.h"
#include "platform/atomic_file.h"

namespace rur {
namespace {

// One line per enclosure: the serial of HDD1, a tab, the serial of HDD2, a tab and the bays found
// without a working disk at the last look ("-", "1", "2" or "12"). Serial keys are printable
// ASCII (AtaSerialKey), so neither a tab nor a line break can occur inside one. Files of the first form (no
// third field) are still read.
constexpr const char* kFormatLine = "RODE RUR bays 2";
constexpr const char* kFirstFormatLine = "RODE RUR bays 1";

std::string MissingText(const std::optional<std::array<bool, 2>>& missing) {
  if (!missing) return "";
  std::string text = std::string((*missing)[0] ? "1" : "") + ((*missing)[1] ? "2" : "");
  return text.empty() ? "-" : text;
}

// A remembered serial key is this disk's, also where it was stored as the serial's text before keys
// of raw bytes existed.
bool SameDisk(const std::string& remembered, const std::string& serial) {
  return !remembered.empty() && (remembered == serial || remembered == EarlierSerialKey(serial));
}

}  // namespace

bool BayMemory::Load(std::string& error) {
  enclosures_.clear();
  missing_.clear();
  if (path_.empty()) return true;
  std::string text;
  switch (ReadWholeFile(path_, text, error)) {
    case FileReadStatus::Missing: return true;
    case FileReadStatus::Failed: return false;
    case FileReadStatus::Ok: break;
  }
  const std::vector<std::string> lines = SplitLogLines(text);
  if (lines.empty() || (lines.front() != kFormatLine && lines.front() != kFirstFormatLine)) {
    error = path_ + " is not a bay memory file; it is written anew";
    return false;
  }
  missing_.clear();
  for (std::size_t n = 1; n < lines.size(); ++n) {
    const std::size_t tab = lines[n].find('\t');
    if (tab == std::string::npos) continue;
    const std::size_t second = lines[n].find('\t', tab + 1);
    enclosures_.push_back({lines[n].substr(0, tab), lines[n].substr(tab + 1, second - tab - 1)});
    std::optional<std::array<bool, 2>> missing;
    if (second != std::string::npos) {
      const std::string bays = lines[n].substr(second + 1);
      missing = std::array<bool, 2>{bays.find('1') != std::string::npos, bays.find('2') != std::string::npos};
    }
    missing_.push_back(missing);
  }
  return true;
}

int BayMemory::Match(const std::array<std::string, 2>& serials) const {
  for (std::size_t i = 0; i < enclosures_.size(); ++i) {
    for (const std::string& serial : serials) {
      if (serial.empty()) continue;
      const auto& known = enclosures_[i];
      if (SameDisk(known[0], serial) || SameDisk(known[1], serial)) return static_cast<int>(i);
    }
  }
  return -1;
}

std::vector<BayReplacement> BayMemory::Observe(unsigned drive, const std::array<std::string, 2>& serials,
                                               std::string& saveError) {
  std::vector<BayReplacement> replaced;
  if (drive >= linked_.size() || (serials[0].empty() && serials[1].empty())) return replaced;
  int& index = linked_[drive];
  bool changed = false;
  if (index < 0) index = Match(serials);
  if (index < 0) {
    enclosures_.push_back({});
    missing_.emplace_back();
    index = static_cast<int>(enclosures_.size() - 1);
  }
  auto& known = enclosures_[static_cast<std::size_t>(index)];
  for (unsigned bay = 0; bay < 2; ++bay) {
    const std::string& serial = serials[bay];
    if (serial.empty() || serial == known[bay]) continue;
    if (!known[bay].empty() && !SameDisk(known[bay], serial)) replaced.push_back({bay, known[bay], serial});
    known[bay] = serial;
    changed = true;
  }
  if (changed) Save(saveError);
  return replaced;
}

void BayMemory::Save(std::string& saveError) const {
  if (path_.empty()) return;
  std::vector<std::string> lines{kFormatLine};
  for (std::size_t i = 0; i < enclosures_.size(); ++i)
    lines.push_back(enclosures_[i][0] + "\t" + enclosures_[i][1] + "\t" + MissingText(missing_[i]));
  WriteFileAtomically(path_, JoinLogLines(lines), 0640, saveError, FileModeUse::Exact);
}

std::optional<std::array<bool, 2>> BayMemory::Missing(unsigned drive) const {
  if (drive >= linked_.size() || linked_[drive] < 0) return std::nullopt;
  return missing_[static_cast<std::size_t>(linked_[drive])];
}

void BayMemory::RememberMissing(unsigned drive, const std::array<bool, 2>& missing, std::string& saveError) {
  if (drive >= linked_.size() || linked_[drive] < 0) return;
  auto& known = missing_[static_cast<std::size_t>(linked_[drive])];
  if (known == missing) return;
  known = missing;
  Save(saveError);
}

}  // namespace rur
