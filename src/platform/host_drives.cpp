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

// "permission denied": the system's text, starting in lower case as it follows a colon.
std::string ErrnoText(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
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
