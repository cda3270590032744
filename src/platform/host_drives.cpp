// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/host_drives.h"

#include <algorithm>
#include <filesystem>

#include "platform/sg_io_device.h"

namespace rur {

bool KernelNameLess(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::vector<std::string> ListScsiDisks(const std::string& sysBlockDir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(sysBlockDir, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 2 && name.compare(0, 2, "sd") == 0 &&
        std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end(), KernelNameLess);
  return names;
}

HostDriveSource::HostDriveSource(std::string sysBlockDir, std::string devDir)
    : sysBlockDir_(std::move(sysBlockDir)), devDir_(std::move(devDir)) {}

std::string HostDriveSource::DrivePath(unsigned number) const {
  if (number >= kMaxPhysicalDrives) return {};
  const auto disks = ListScsiDisks(sysBlockDir_);
  if (number >= disks.size()) return {};
  return devDir_ + "/" + disks[number];
}

DeviceHandle HostDriveSource::OpenPhysicalDrive(unsigned number) {
  const std::string path = DrivePath(number);
  if (path.empty()) return nullptr;
  return SgIoDevice::Open(path);
}

}  // namespace rur
