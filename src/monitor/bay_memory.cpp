// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/bay_memory.h"

#include "monitor/event_log.h"
#include "platform/atomic_file.h"

namespace rur {
namespace {

// One line per enclosure: the serial of HDD1, a tab, the serial of HDD2. Serial texts are
// printable ASCII, so neither a tab nor a line break can occur inside one.
constexpr const char* kFormatLine = "RODE RUR bays 1";

}  // namespace

bool BayMemory::Load(std::string& error) {
  enclosures_.clear();
  if (path_.empty()) return true;
  std::string text;
  switch (ReadWholeFile(path_, text, error)) {
    case FileReadStatus::Missing: return true;
    case FileReadStatus::Failed: return false;
    case FileReadStatus::Ok: break;
  }
  const std::vector<std::string> lines = SplitLogLines(text);
  if (lines.empty() || lines.front() != kFormatLine) {
    error = path_ + " is not a bay memory file; it is written anew";
    return false;
  }
  for (std::size_t n = 1; n < lines.size(); ++n) {
    const std::size_t tab = lines[n].find('\t');
    if (tab == std::string::npos) continue;
    enclosures_.push_back({lines[n].substr(0, tab), lines[n].substr(tab + 1)});
  }
  return true;
}

int BayMemory::Match(const std::array<std::string, 2>& serials) const {
  for (std::size_t i = 0; i < enclosures_.size(); ++i) {
    for (const std::string& serial : serials) {
      if (serial.empty()) continue;
      const auto& known = enclosures_[i];
      if (known[0] == serial || known[1] == serial) return static_cast<int>(i);
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
    index = static_cast<int>(enclosures_.size() - 1);
  }
  auto& known = enclosures_[static_cast<std::size_t>(index)];
  for (unsigned bay = 0; bay < 2; ++bay) {
    const std::string& serial = serials[bay];
    if (serial.empty() || serial == known[bay]) continue;
    if (!known[bay].empty()) replaced.push_back({bay, known[bay], serial});
    known[bay] = serial;
    changed = true;
  }
  if (changed && !path_.empty()) {
    std::vector<std::string> lines{kFormatLine};
    for (const auto& enclosure : enclosures_) lines.push_back(enclosure[0] + "\t" + enclosure[1]);
    WriteFileAtomically(path_, JoinLogLines(lines), 0644, saveError);
  }
  return replaced;
}

}  // namespace rur
