// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/host_volumes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/host_drives.h"

namespace rur {
namespace {

std::uint64_t ReadNumber(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::uint64_t value = 0;
  in >> value;
  return value;
}

// The disk a block device belongs to: its parent folder in sysfs for a partition, itself for a disk.
std::string ParentDisk(const std::string& sysClassBlock, const std::string& name) {
  std::error_code error;
  const auto resolved = std::filesystem::canonical(std::filesystem::path(sysClassBlock) / name, error);
  if (error) return name;
  if (std::filesystem::exists(resolved / "partition")) return resolved.parent_path().filename().string();
  return name;
}

}  // namespace

std::vector<MountedVolume> ListHostVolumes(const std::string& mountInfoPath, const std::string& sysClassBlock,
                                           const std::string& sysBlock) {
  const auto disks = ListScsiDisks(sysBlock);
  std::vector<MountedVolume> volumes;
  std::ifstream mounts(mountInfoPath);
  std::string line;
  while (std::getline(mounts, line)) {
    // Fields after " - " are: file system type, mount source, options.
    const auto dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream tail(line.substr(dash + 3));
    std::string type, source;
    tail >> type >> source;
    if (source.rfind("/dev/", 0) != 0) continue;
    const std::string name = source.substr(5);
    if (std::any_of(volumes.begin(), volumes.end(), [&](const MountedVolume& v) { return v.name == name; }))
      continue;  // mounted more than once
    const std::string disk = ParentDisk(sysClassBlock, name);
    const auto found = std::find(disks.begin(), disks.end(), disk);
    if (found == disks.end()) continue;
    const auto drive = static_cast<unsigned>(found - disks.begin());
    if (drive >= kMaxPhysicalDrives) continue;
    const auto base = std::filesystem::path(sysClassBlock) / name;
    volumes.push_back(MountedVolume{name, drive, ReadNumber(base / "start") * 512, ReadNumber(base / "size") * 512});
  }
  std::sort(volumes.begin(), volumes.end(),
            [](const MountedVolume& a, const MountedVolume& b) { return KernelNameLess(a.name, b.name); });
  return volumes;
}

}  // namespace rur
