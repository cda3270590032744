// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether an enclosure's firmware upgrade is under way, was cut off, or neither: what status
// reports beside the flash's own verdict. A run that holds the controller is running, never
// unfinished, and raises no alarm; a record whose run holds nothing any more was cut off.

#include <string>

#include "firmware/upgrade_journal.h"
#include "transport/scsi_device.h"

namespace rur {

enum class UpgradeCondition { None, Running, Unfinished };

struct UpgradeStatus {
  UpgradeCondition condition = UpgradeCondition::None;
  UpgradeStep step = UpgradeStep::Erase;  // the step the journal names: where the run is, or stopped
  std::string holder;                     // Running: what makes the run
};

// "none", "running", "unfinished": the names --json and other readers use.
const char* UpgradeConditionName(UpgradeCondition condition);

// Whether the run a record stands for is still being made by another process: it keeps the
// drive's controller held longer than any short command does.
bool UpgradeRunsElsewhere(DriveSource& drives, const UpgradeJournalRecord& record, std::string* holder = nullptr);

// The upgrade condition of the enclosure on a drive.
UpgradeStatus UpgradeStatusOf(const UpgradeJournal& journal, DriveSource& drives, const DriveFacts& drive);

}  // namespace rur
