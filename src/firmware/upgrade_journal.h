// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The journal of a firmware upgrade: a small record written before the first erase, brought up to
// date at each step and removed once the verify succeeded. A record found later means a run was
// cut off (killed, power lost) and that controller's flash may be incomplete. One record per
// enclosure, named by what identifies the enclosure itself (its USB bridge, its stable disk name)
// rather than by the drive number it happens to have, so an upgrade of another enclosure neither
// hides nor clears it. Records live where the enclosure's owner keeps its state, so every face of
// the program (window, rurctl, service) finds the same ones.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "transport/scsi_device.h"

namespace rur {

enum class UpgradeStep { Erase, Program, Verify };

struct UpgradeJournalRecord {
  unsigned device = 0;    // position in the device table, numbered from 0 ("Device1" is 0)
  unsigned drive = 0;     // physical drive number
  std::string enclosure;  // EnclosureKey of the drive: names the record
  std::string path;       // the device node, or the simulated drive's name
  std::string product;    // the controller's product name
  std::string firmware;   // its firmware revision before the run
  std::uint32_t imageSize = 0;
  std::uint32_t imageChecksum = 0;
  std::string started;  // local time, as the day log writes it
  UpgradeStep step = UpgradeStep::Erase;
};

// What names an enclosure's record: its USB bridge's vendor, product and serial when the bridge
// reports a serial, else its stable disk name, else "drive" and its number. Only letters, digits,
// '.', '_' and '-', so it is safe in a file name.
std::string EnclosureKey(const DriveFacts& facts);
// The key a record is kept under: its enclosure, or "drive" and its number when it names none.
std::string RecordKey(const UpgradeJournalRecord& record);

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
  // Records are written to folder; alsoRead are folders where records of earlier runs may lie (the
  // data folder before records moved to the owner's state), read and cleared like the others.
  explicit UpgradeJournal(std::string folder, std::vector<std::string> alsoRead = {});

  bool Write(const UpgradeJournalRecord& record, std::string& error);
  // Removes the enclosure's record, and one named by its drive number (see RecordOf).
  bool Remove(const std::string& enclosure, unsigned drive, std::string& error);
  // The records left behind, by enclosure. One that cannot be read still counts: the run it stood
  // for did not finish.
  std::vector<UpgradeJournalRecord> Unfinished() const;
  // The record of the enclosure on a drive, when there is one; a record named by the drive number
  // (an enclosure without a stable name, or a record an earlier program kept) counts as its own.
  std::optional<UpgradeJournalRecord> RecordOf(const std::string& enclosure, unsigned drive) const;
  std::string PathFor(const std::string& enclosure) const;
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::vector<std::string> alsoRead_;
};

}  // namespace rur
