// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Device-change notices on a real host: every event of the block subsystem restarts the wait
// before drives are counted again; a removal also names the node that went.

#include <memory>
#include <vector>

#include "platform/drive_notice.h"

struct udev;
struct udev_monitor;

namespace rur {

class UdevWatcher {
 public:
  UdevWatcher();
  ~UdevWatcher();
  UdevWatcher(const UdevWatcher&) = delete;
  UdevWatcher& operator=(const UdevWatcher&) = delete;

  bool active() const { return monitor_ != nullptr; }
  // The descriptor to wait on, or -1.
  int fd() const;
  // Takes every pending event without blocking, oldest first.
  std::vector<DriveNotice> TakeEvents();

 private:
  struct udev* udev_ = nullptr;
  struct udev_monitor* monitor_ = nullptr;
};

}  // namespace rur
