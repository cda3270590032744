// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A host disk reached through the SCSI generic SG_IO ioctl, opened read-only (on Windows, the SCSI
// pass-through of the physical drive). Only the transport's reads and inquiries pass through it.

#include <string>

#include "transport/scsi_device.h"

namespace rur {

class SgIoDevice final : public ScsiDevice {
 public:
  // Empty handle when the path cannot be opened (missing device, no permission).
  static DeviceHandle Open(const std::string& path);
  // Takes over an open descriptor of the device (closed with the handle).
  static DeviceHandle Adopt(int fd);
  ~SgIoDevice() override;
  bool Execute(const ScsiRequest& request) override;

 private:
  explicit SgIoDevice(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace rur
