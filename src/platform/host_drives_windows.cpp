// SPDX-License-Identifier: GPL-3.0-or-later
// The host's drives on Windows: \\.\PhysicalDriveN, numbered as Windows numbers them. Each drive's
// bus, vendor, product and serial come from the storage property query, which needs no access
// rights; a USB disk is one whose bus is USB. Windows keeps no by-id folder, so the stable name is
// made the same way from the bus and the drive's own names.
#include <windows.h>

// After windows.h, which it builds on.
#include <winioctl.h>

#include <cctype>
#include <vector>

#include "platform/host_drives.h"
#include "platform/sg_io_device.h"
#include "platform/windows_text.h"

namespace rur {
namespace {

constexpr const char* kDrivePrefix = "\\\\.\\PhysicalDrive";
constexpr DWORD kDescriptorRoom = 1024;

const char* BusName(STORAGE_BUS_TYPE bus) {
  switch (bus) {
    case BusTypeUsb: return "usb";
    case BusTypeAta: return "ata";
    case BusTypeSata: return "sata";
    case BusTypeSas: return "sas";
    case BusTypeNvme: return "nvme";
    case BusTypeVirtual:
    case BusTypeFileBackedVirtual: return "virtual";
    default: return "scsi";
  }
}

// A text field of the descriptor, trimmed; empty when absent.
std::string DescriptorText(const std::vector<BYTE>& room, DWORD offset) {
  if (offset == 0 || offset >= room.size()) return {};
  std::string text;
  for (DWORD i = offset; i < room.size() && room[i] != 0; ++i) text += static_cast<char>(room[i]);
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "usb-Vendor_Product_Serial", spaces as underscores, as a by-id name reads.
std::string StableName(const std::string& bus, const std::vector<std::string>& parts) {
  std::string name;
  for (const auto& part : parts) {
    if (part.empty()) continue;
    name += (name.empty() ? "" : "_") + part;
  }
  if (name.empty()) return {};
  for (auto& c : name)
    if (std::isspace(static_cast<unsigned char>(c))) c = '_';
  return bus + "-" + name;
}

// False when there is no such drive.
bool QueryDrive(const std::string& path, DriveFacts& facts) {
  OwnedHandle device(
      ::CreateFileW(WideText(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device.valid()) return false;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  std::vector<BYTE> room(kDescriptorRoom);
  DWORD returned = 0;
  if (!::DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, room.data(),
                         static_cast<DWORD>(room.size()), &returned, nullptr) ||
      returned < sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
    return true;  // present, but it says nothing about itself
  }
  room.resize(returned);
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(room.data());
  facts.bus = BusName(descriptor->BusType);
  const std::string serial = DescriptorText(room, descriptor->SerialNumberOffset);
  facts.byId = StableName(facts.bus, {DescriptorText(room, descriptor->VendorIdOffset),
                                      DescriptorText(room, descriptor->ProductIdOffset), serial});
  if (facts.usb()) facts.usbSerial = serial;
  return true;
}

}  // namespace

std::string UdevDiskProperty(const std::string&, const std::string&) { return {}; }

HostDriveSource::HostDriveSource() = default;
HostDriveSource::HostDriveSource(HostDriveFolders folders) : folders_(std::move(folders)) {}
HostDriveSource::HostDriveSource(std::string sysBlockDir, std::string devDir)
    : folders_{std::move(sysBlockDir), std::move(devDir), {}} {}

std::string HostDriveSource::DrivePath(unsigned number) const {
  if (number >= kMaxPhysicalDrives) return {};
  const std::string path = kDrivePrefix + std::to_string(number);
  DriveFacts ignored;
  return QueryDrive(path, ignored) ? path : std::string();
}

std::vector<DriveFacts> HostDriveSource::ListDrives() {
  std::vector<DriveFacts> drives;
  for (unsigned number = 0; number < kMaxPhysicalDrives; ++number) {
    DriveFacts facts;
    facts.number = number;
    facts.path = kDrivePrefix + std::to_string(number);
    if (QueryDrive(facts.path, facts)) drives.push_back(std::move(facts));
  }
  return drives;
}

OpenCheck HostDriveSource::CheckOpen(unsigned number) {
  const std::string path = DrivePath(number);
  if (path.empty()) return OpenCheck{OpenCheck::Outcome::Fails, "no such drive"};
  if (SgIoDevice::Open(path)) return {};
  const DWORD error = ::GetLastError();
  const bool noAccess = error == ERROR_ACCESS_DENIED;
  return OpenCheck{noAccess ? OpenCheck::Outcome::NoAccess : OpenCheck::Outcome::Fails,
                   noAccess ? std::string("access denied (run as administrator)") : SystemErrorText(error)};
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
  return SgIoDevice::Open(path);
}

}  // namespace rur
