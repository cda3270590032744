// SPDX-License-Identifier: GPL-3.0-or-later
// The names of the host's disks, the same on every system: kernel disk names and their order,
// the bus a sysfs path shows, and which stable by-id name a disk is known by.
#include <algorithm>
#include <filesystem>

#include "platform/host_drives.h"

namespace rur {
namespace {

constexpr unsigned kLetters = 26;

int ByIdRank(const std::string& name) {
  static const char* const kOrder[] = {"usb-", "ata-", "scsi-", "nvme-"};
  for (int i = 0; i < 4; ++i)
    if (name.rfind(kOrder[i], 0) == 0) return i;
  return name.rfind("wwn-", 0) == 0 ? 6 : 5;
}

}  // namespace

bool KernelNameLess(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::string KernelDiskName(unsigned index) {
  std::string letters;
  unsigned n = index + 1;
  while (n > 0) {
    --n;
    letters.insert(letters.begin(), static_cast<char>('a' + n % kLetters));
    n /= kLetters;
  }
  return "sd" + letters;
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

std::string BusFromSysfsPath(const std::string& resolvedPath) {
  // /sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb
  const auto has = [&](const char* part) { return resolvedPath.find(part) != std::string::npos; };
  if (has("/usb")) return "usb";
  if (has("/ata")) return "ata";
  if (has("/virtio")) return "virtio";
  if (has("/nvme")) return "nvme";
  return "scsi";
}

std::string PreferredById(std::vector<std::string> names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int rankA = ByIdRank(a), rankB = ByIdRank(b);
    if (rankA != rankB) return rankA < rankB;
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  });
  return names.empty() ? std::string() : names.front();
}

}  // namespace rur
