// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/scsi_device.h"

namespace rur {
namespace {

class LocalHold final : public ControllerHold {};

}  // namespace

std::vector<DriveFacts> DriveSource::ListDrives() {
  std::vector<DriveFacts> drives;
  for (unsigned number = 0; number < kDriveNumberLimit; ++number) {
    if (!OpenPhysicalDrive(number)) continue;
    DriveFacts facts;
    facts.number = number;
    facts.bus = "usb";
    drives.push_back(facts);
  }
  return drives;
}

OpenCheck DriveSource::CheckOpen(unsigned number) {
  if (OpenPhysicalDrive(number)) return {};
  return OpenCheck{OpenCheck::Outcome::Fails, "cannot be opened"};
}

HoldAttempt DriveSource::HoldController(unsigned /*number*/, std::uint32_t /*waitMs*/) {
  HoldAttempt attempt;
  attempt.hold = std::make_unique<LocalHold>();
  return attempt;
}

}  // namespace rur
