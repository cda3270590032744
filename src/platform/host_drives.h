// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's disks as physical drives: drive n is the n-th SCSI disk (sda, sdb, ...) in kernel
// name order, at most ten of them.

#include <string>
#include <vector>

#include "platform/drive_numbering.h"
#include "transport/scsi_device.h"

namespace rur {

// Kernel disk names ("sda", "sdb", ..., "sdz", "sdaa") in kernel order, from a sysfs block folder.
std::vector<std::string> ListScsiDisks(const std::string& sysBlockDir = "/sys/block");
// Kernel name order: shorter names first, then alphabetical.
bool KernelNameLess(const std::string& a, const std::string& b);

class HostDriveSource final : public DriveSource {
 public:
  explicit HostDriveSource(std::string sysBlockDir = "/sys/block", std::string devDir = "/dev");
  DeviceHandle OpenPhysicalDrive(unsigned number) override;
  // The device path of physical drive n, empty when there is none.
  std::string DrivePath(unsigned number) const;

 private:
  std::string sysBlockDir_;
  std::string devDir_;
};

}  // namespace rur
