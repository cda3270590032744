// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's disks as physical drives: drive n is the n-th SCSI disk (sda, sdb, ...) in kernel
// name order, every disk counted. Each is also known by its device node and its /dev/disk/by-id
// name, and by the bus it sits on: from udev's properties, or from its sysfs path when no udev
// daemon keeps them. Command sequences hold an exclusive flock on the whole-disk node.

#include <functional>
#include <string>
#include <vector>

#include "platform/controller_holds.h"
#include "platform/drive_numbering.h"
#include "transport/scsi_device.h"

namespace rur {

// Kernel disk names ("sda", "sdb", ..., "sdz", "sdaa") in kernel order, from a sysfs block folder.
std::vector<std::string> ListScsiDisks(const std::string& sysBlockDir = "/sys/block");
// Kernel name order: shorter names first, then alphabetical.
bool KernelNameLess(const std::string& a, const std::string& b);
// The n-th name of that order: 0 "sda", 25 "sdz", 26 "sdaa".
std::string KernelDiskName(unsigned index);
// The bus of a disk from its resolved sysfs path: "usb" when a USB controller leads to it.
std::string BusFromSysfsPath(const std::string& resolvedPath);
// The preferred by-id name among the links that lead to one disk ("usb-..." before "wwn-...").
std::string PreferredById(std::vector<std::string> names);

// Where the host's facts come from; tests point it at folders of their own.
struct HostDriveFolders {
  std::string sysBlock = "/sys/block";
  std::string dev = "/dev";
  // A udev property of a disk by its kernel name; empty when unknown (no udev daemon).
  std::function<std::string(const std::string& disk, const std::string& key)> udevProperty;
};

// A udev property from udev's database (libudev).
std::string UdevDiskProperty(const std::string& disk, const std::string& key);

class HostDriveSource final : public DriveSource {
 public:
  // The host's own folders, with udev's database.
  HostDriveSource();
  explicit HostDriveSource(HostDriveFolders folders);
  // Folders of a test, without udev.
  explicit HostDriveSource(std::string sysBlockDir, std::string devDir = "/dev");
  DeviceHandle OpenPhysicalDrive(unsigned number) override;
  std::vector<DriveFacts> ListDrives() override;
  OpenCheck CheckOpen(unsigned number) override;
  HoldAttempt HoldController(unsigned number, std::uint32_t waitMs) override;
  // The device path of physical drive n, empty when there is none.
  std::string DrivePath(unsigned number) const;

 private:
  HostDriveFolders folders_;
  ControllerHolds holds_;
};

}  // namespace rur
