// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Device-change notices on a real host: any event of the block subsystem counts as one notice
// (it only restarts the wait before drives are counted again).

#include <memory>

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
  // Takes every pending event without blocking; true when there was at least one.
  bool TakeEvents();

 private:
  struct udev* udev_ = nullptr;
  struct udev_monitor* monitor_ = nullptr;
};

}  // namespace rur
