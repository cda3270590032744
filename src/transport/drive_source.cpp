// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/scsi_device.h"

#include <chrono>

namespace rur {

class DriveSource::LocalHold final : public ControllerHold {
 public:
  LocalHold(DriveSource& source, unsigned number) : source_(source), number_(number) {}
  ~LocalHold() override {
    {
      std::lock_guard lock(source_.localMutex_);
      const auto found = source_.localHolds_.find(number_);
      if (found != source_.localHolds_.end() && --found->second.count == 0) source_.localHolds_.erase(found);
    }
    source_.localReleased_.notify_all();
  }

 private:
  DriveSource& source_;
  unsigned number_;
};

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

HoldAttempt DriveSource::HoldController(unsigned number, std::uint32_t waitMs) {
  HoldAttempt attempt;
  const auto me = std::this_thread::get_id();
  std::unique_lock lock(localMutex_);
  const bool free = localReleased_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] {
    const auto found = localHolds_.find(number);
    return found == localHolds_.end() || found->second.owner == me;
  });
  if (!free) {
    attempt.outcome = HoldAttempt::Outcome::Busy;
    attempt.holder = "another task of this program";
    return attempt;
  }
  LocalHolder& holder = localHolds_[number];
  holder.owner = me;
  ++holder.count;
  attempt.hold = std::make_unique<LocalHold>(*this, number);
  return attempt;
}

}  // namespace rur
