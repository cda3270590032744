// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A firmware upgrade in the day log: a line as it is asked for and a line with its outcome, each
// naming the enclosure and both firmware versions, written alike whichever face ran it.

#include <string>

#include "firmware/firmware_upgrade.h"

namespace rur {

// What an upgrade changes: the enclosure, its product, the firmware it has and the image's.
struct UpgradeVersions {
  unsigned position = 0;
  std::string product;
  std::string current;  // hexadecimal, as the image check shows it ("14031510")
  std::string next;
};

// Told on standard error when a signal that would end the process arrives during the run.
inline constexpr const char* kUpgradeKeepsRunningNotice =
    "The firmware upgrade goes on: it must not be interrupted. Do not power off or unplug the enclosure "
    "until it has finished.";

// "D1 Firmware upgrade from 14031510 to 14050610 started" and the outcome's line, without the
// time stamp.
std::string UpgradeStartLine(const UpgradeVersions& versions);
std::string UpgradeOutcomeLine(const UpgradeVersions& versions, UpgradeOutcome outcome);
// The outcome alone: "succeeded; power the enclosure off and on ...", "failed while erasing ...".
std::string UpgradeOutcomeText(UpgradeOutcome outcome);

}  // namespace rur
