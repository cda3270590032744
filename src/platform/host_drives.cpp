// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/host_drives.h"

#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/sg_io_device.h"

namespace rur {
namespace {

constexpr unsigned kLetters = 26;

// "permission denied": the system's text, starting in lower case as it follows a colon.
std::string ErrnoText(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

int ByIdRank(const std::string& name) {
  static const char* const kOrder[] = {"usb-", "ata-", "scsi-", "nvme-"};
  for (int i = 0; i < 4; ++i)
    if (name.rfind(kOrder[i], 0) == 0) return i;
  return name.rfind("wwn-", 0) == 0 ? 6 : 5;
}

std::string ReadLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The USB device a disk hangs from: the nearest folder above it with idVendor and idProduct.
void UsbIdsFromSysfs(const std::filesystem::path& resolved, DriveFacts& facts) {
  for (std::filesystem::path folder = resolved; folder.has_relative_path(); folder = folder.parent_path()) {
    std::error_code ignored;
    if (!std::filesystem::exists(folder / "idVendor", ignored)) continue;
    facts.usbVendorId = ReadLine(folder / "idVendor");
    facts.usbProductId = ReadLine(folder / "idProduct");
    facts.usbSerial = ReadLine(folder / "serial");
    return;
  }
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

std::string UdevDiskProperty(const std::string& disk, const std::string& key) {
  udev* context = udev_new();
  if (!context) return {};
  std::string value;
  if (udev_device* device = udev_device_new_from_subsystem_sysname(context, "block", disk.c_str())) {
    if (const char* found = udev_device_get_property_value(device, key.c_str())) value = found;
    udev_device_unref(device);
  }
  udev_unref(context);
  return value;
}

HostDriveSource::HostDriveSource() : HostDriveSource(HostDriveFolders{"/sys/block", "/dev", UdevDiskProperty}) {}

HostDriveSource::HostDriveSource(HostDriveFolders folders) : folders_(std::move(folders)) {}

HostDriveSource::HostDriveSource(std::string sysBlockDir, std::string devDir)
    : folders_{std::move(sysBlockDir), std::move(devDir), {}} {}

std::string HostDriveSource::DrivePath(unsigned number) const {
  const auto disks = ListScsiDisks(folders_.sysBlock);
  if (number >= disks.size()) return {};
  return folders_.dev + "/" + disks[number];
}

std::vector<DriveFacts> HostDriveSource::ListDrives() {
  namespace fs = std::filesystem;
  const auto disks = ListScsiDisks(folders_.sysBlock);
  // by-id links of whole disks, by the disk they lead to.
  std::vector<std::pair<std::string, std::string>> links;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(folders_.dev) / "disk" / "by-id", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find("-part") != std::string::npos) continue;
    std::error_code ignored;
    const fs::path target = fs::read_symlink(entry.path(), ignored);
    if (!ignored) links.emplace_back(target.filename().string(), name);
  }
  std::vector<DriveFacts> drives;
  for (unsigned number = 0; number < disks.size(); ++number) {
    const std::string& disk = disks[number];
    DriveFacts facts;
    facts.number = number;
    facts.path = folders_.dev + "/" + disk;
    const auto property = [&](const char* key) {
      return folders_.udevProperty ? folders_.udevProperty(disk, key) : std::string();
    };
    std::error_code ignored;
    const fs::path resolved = fs::canonical(fs::path(folders_.sysBlock) / disk, ignored);
    facts.bus = property("ID_BUS");
    if (facts.bus.empty()) facts.bus = BusFromSysfsPath(resolved.string());
    if (facts.usb()) {
      facts.usbVendorId = property("ID_VENDOR_ID");
      facts.usbProductId = property("ID_MODEL_ID");
      facts.usbSerial = property("ID_SERIAL_SHORT");
      if (facts.usbVendorId.empty()) UsbIdsFromSysfs(resolved, facts);
    }
    std::vector<std::string> names;
    for (const auto& [target, name] : links)
      if (target == disk) names.push_back(name);
    facts.byId = PreferredById(std::move(names));
    drives.push_back(std::move(facts));
  }
  return drives;
}

OpenCheck HostDriveSource::CheckOpen(unsigned number) {
  const std::string path = DrivePath(number);
  if (path.empty()) return OpenCheck{OpenCheck::Outcome::Fails, "no such drive"};
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return {};
  }
  const int error = errno;
  const bool noAccess = error == EACCES || error == EPERM;
  return OpenCheck{noAccess ? OpenCheck::Outcome::NoAccess : OpenCheck::Outcome::Fails, ErrnoText(error)};
}

HoldAttempt HostDriveSource::HoldController(unsigned number, std::uint32_t waitMs) {
  const std::string path = DrivePath(number);
  if (path.empty()) {
    HoldAttempt attempt;
    attempt.outcome = HoldAttempt::Outcome::Failed;
    attempt.error = "no drive " + std::to_string(number);
    return attempt;
  }
  return holds_.Hold(path, waitMs);
}

DeviceHandle HostDriveSource::OpenPhysicalDrive(unsigned number) {
  const std::string path = DrivePath(number);
  if (path.empty()) return nullptr;
  // The node this process holds is open already; a copy of that descriptor saves an open.
  const int held = holds_.DuplicateHeld(path);
  if (held >= 0) return SgIoDevice::Adopt(held);
  return SgIoDevice::Open(path);
}

}  // namespace rur
