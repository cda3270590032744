// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The journal of a firmware upgrade: a small record in the data folder, written before the first
// erase, brought up to date at each step and removed once the verify succeeded. A record found at
// start-up means a run was cut off (killed, power lost) and that controller's flash may be
// incomplete. One record per physical drive, so an upgrade of another enclosure neither hides
// nor clears it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rur {

enum class UpgradeStep { Erase, Program, Verify };

struct UpgradeJournalRecord {
  unsigned device = 0;   // position in the device table, numbered from 0 ("Device1" is 0)
  unsigned drive = 0;    // physical drive number
  std::string path;      // the device node, or the simulated drive's name
  std::string product;   // the controller's product name
  std::string firmware;  // its firmware revision before the run
  std::uint32_t imageSize = 0;
  std::uint32_t imageChecksum = 0;
  std::string started;  // local time, as the day log writes it
  UpgradeStep step = UpgradeStep::Erase;
};

// "name=value" lines; unknown names are skipped, so older and newer programs read each other.
std::string FormatJournalRecord(const UpgradeJournalRecord& record);
std::optional<UpgradeJournalRecord> ParseJournalRecord(const std::string& text);
const char* UpgradeStepName(UpgradeStep step);

// What the user and the day log are told about a record left behind.
std::string UnfinishedUpgradeText(const UpgradeJournalRecord& record);
// The record's facts in one line: device path, product, image size and checksum, step.
std::string UnfinishedUpgradeDetails(const UpgradeJournalRecord& record);

class UpgradeJournal {
 public:
  explicit UpgradeJournal(std::string folder);

  bool Write(const UpgradeJournalRecord& record, std::string& error);
  bool Remove(unsigned drive, std::string& error);
  // The records left behind, by drive. One that cannot be read still counts: the run it stood for
  // did not finish.
  std::vector<UpgradeJournalRecord> Unfinished() const;
  std::string PathFor(unsigned drive) const;

 private:
  std::string folder_;
};

}  // namespace rur
