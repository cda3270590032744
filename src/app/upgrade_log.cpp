// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/upgrade_log.h"

namespace rur {
namespace {

std::string Subject(const UpgradeVersions& versions) {
  return "D" + std::to_string(versions.position + 1) + " Firmware upgrade from " + versions.current + " to " +
         versions.next;
}

}  // namespace

std::string UpgradeOutcomeText(UpgradeOutcome outcome) {
  switch (outcome) {
    case UpgradeOutcome::Succeeded: return "succeeded; power the enclosure off and on to start the new firmware";
    case UpgradeOutcome::EraseFailed: return "failed while erasing the flash";
    case UpgradeOutcome::ProgramFailed: return "failed while programming the flash";
    case UpgradeOutcome::ReadBackFailed: return "failed while reading the flash back";
    case UpgradeOutcome::VerifyFailed: return "failed: the flash does not match the image";
    case UpgradeOutcome::Busy:
    case UpgradeOutcome::DeviceBusy:
    case UpgradeOutcome::NoImage:
    case UpgradeOutcome::ImageTooLarge:
    case UpgradeOutcome::TypeMismatch:
    case UpgradeOutcome::JournalFailed:
    case UpgradeOutcome::OtherImageRecorded: break;
  }
  return "refused; the flash was not touched";
}

std::string UpgradeStartLine(const UpgradeVersions& versions) {
  return Subject(versions) + " started (" + versions.product + ")";
}

std::string UpgradeOutcomeLine(const UpgradeVersions& versions, UpgradeOutcome outcome) {
  return Subject(versions) + " " + UpgradeOutcomeText(outcome);
}

}  // namespace rur
