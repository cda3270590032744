// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/udev_watcher.h"

#include <libudev.h>
#include <poll.h>
#include <unistd.h>

namespace rur {

UdevWatcher::UdevWatcher() {
  udev_ = udev_new();
  if (!udev_) return;
  // Without a udev daemon nobody rebroadcasts the kernel's events; listen to the kernel itself then.
  const bool daemonRuns = ::access("/run/udev/control", F_OK) == 0;
  monitor_ = udev_monitor_new_from_netlink(udev_, daemonRuns ? "udev" : "kernel");
  if (!monitor_ || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "block", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor_) < 0) {
    if (monitor_) udev_monitor_unref(monitor_);
    monitor_ = nullptr;
  }
}

UdevWatcher::~UdevWatcher() {
  if (monitor_) udev_monitor_unref(monitor_);
  if (udev_) udev_unref(udev_);
}

int UdevWatcher::fd() const { return monitor_ ? udev_monitor_get_fd(monitor_) : -1; }

bool UdevWatcher::TakeEvents() {
  if (!monitor_) return false;
  bool any = false;
  for (;;) {
    pollfd waiting{udev_monitor_get_fd(monitor_), POLLIN, 0};
    if (::poll(&waiting, 1, 0) <= 0 || !(waiting.revents & POLLIN)) break;
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (!device) break;
    udev_device_unref(device);
    any = true;
  }
  return any;
}

}  // namespace rur
