// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Mounted partitions of the host's numbered SCSI disks, from the mount table and sysfs.

#include <string>
#include <vector>

#include "platform/mounted_volume.h"

namespace rur {

std::vector<MountedVolume> ListHostVolumes(const std::string& mountInfoPath = "/proc/self/mountinfo",
                                           const std::string& sysClassBlock = "/sys/class/block",
                                           const std::string& sysBlock = "/sys/block");

}  // namespace rur
