// SPDX-License-Identifier: GPL-3.0-or-later
// No device-change notices on Windows: detection finds new and removed drives by counting them
// again on its own schedule.
#include "platform/udev_watcher.h"

namespace rur {

UdevWatcher::UdevWatcher() = default;

UdevWatcher::~UdevWatcher() = default;

int UdevWatcher::fd() const { return -1; }

std::vector<DriveNotice> UdevWatcher::TakeEvents() { return {}; }

}  // namespace rur
