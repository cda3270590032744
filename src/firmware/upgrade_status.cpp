// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/upgrade_status.h"

#include "transport/controller_channel.h"

namespace rur {

const char* UpgradeConditionName(UpgradeCondition condition) {
  switch (condition) {
    case UpgradeCondition::None: return "none";
    case UpgradeCondition::Running: return "running";
    case UpgradeCondition::Unfinished: return "unfinished";
  }
  return "none";
}

bool UpgradeRunsElsewhere(DriveSource& drives, const UpgradeJournalRecord& record, std::string* holder) {
  // A status refresh of another process gives the hold back within this wait; an upgrade does not.
  const HoldAttempt held = drives.HoldController(record.drive, kShortCommandHoldWaitMs);
  if (held.outcome != HoldAttempt::Outcome::Busy) return false;
  if (holder) *holder = held.holder;
  return true;
}

UpgradeStatus UpgradeStatusOf(const UpgradeJournal& journal, DriveSource& drives, const DriveFacts& drive) {
  UpgradeStatus status;
  std::optional<UpgradeJournalRecord> record = journal.RecordOf(EnclosureKey(drive), drive.number);
  if (!record) return status;
  record->drive = drive.number;  // the enclosure may sit on another drive number now
  // Running or cut off, the step is the one the journal names.
  status.step = record->step;
  status.condition =
      UpgradeRunsElsewhere(drives, *record, &status.holder) ? UpgradeCondition::Running : UpgradeCondition::Unfinished;
  return status;
}

}  // namespace rur
