// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seam between the program and a disk: one SCSI request with data coming from the device.
// The SG_IO device, the simulated enclosure and test doubles all implement it, so every read
// and inquiry the program sends passes through ScsiDevice::Execute.

#include <array>
#include <cstdint>
#include <memory>

namespace rur {

constexpr std::size_t kSectorSize = 512;
using Sector = std::array<std::uint8_t, kSectorSize>;

struct ScsiRequest {
  std::array<std::uint8_t, 10> cdb{};
  std::uint8_t* buffer = nullptr;  // receives transferLength bytes
  std::uint32_t transferLength = 0;
  std::uint32_t timeoutMs = 0;
};

class ScsiDevice {
 public:
  virtual ~ScsiDevice() = default;
  // True when the request completed at the transport level; SCSI status and sense are not judged.
  virtual bool Execute(const ScsiRequest& request) = 0;
};

// An open device; empty stands for the invalid handle. Closing is releasing it.
using DeviceHandle = std::unique_ptr<ScsiDevice>;

// Where physical drives come from: the host's disks or simulated enclosures.
class DriveSource {
 public:
  virtual ~DriveSource() = default;
  // Physical drive number n (0..15); empty when no such drive exists or it cannot be opened.
  virtual DeviceHandle OpenPhysicalDrive(unsigned number) = 0;
};

}  // namespace rur
