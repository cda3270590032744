// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/udev_watcher.h"

#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <string_view>

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

std::vector<DriveNotice> UdevWatcher::TakeEvents() {
  std::vector<DriveNotice> notices;
  if (!monitor_) return notices;
  for (;;) {
    pollfd waiting{udev_monitor_get_fd(monitor_), POLLIN, 0};
    if (::poll(&waiting, 1, 0) <= 0 || !(waiting.revents & POLLIN)) break;
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (!device) break;
    DriveNotice notice;
    const char* action = udev_device_get_action(device);
    const std::string_view what = action ? action : "";
    if (what == "remove") notice.kind = DriveNotice::Kind::Removed;
    if (what == "add") notice.kind = DriveNotice::Kind::Added;
    if (const char* node = udev_device_get_devnode(device)) notice.node = node;
    udev_device_unref(device);
    notices.push_back(std::move(notice));
  }
  return notices;
}

}  // namespace rur
