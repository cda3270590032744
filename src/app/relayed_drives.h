// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The enclosures of a host whose service owns the controllers: the program lists them and asks
// their controllers through that service, and never opens a device itself.

#include <vector>

#include "platform/drive_notice.h"
#include "transport/controller_relay.h"
#include "transport/scsi_device.h"

namespace rur {

class RelayedDrives : public DriveSource, public ControllerRelay {
 public:
  // Enclosures that came or went since the last call, as the host's device notices tell them.
  virtual std::vector<DriveNotice> TakeNotices() = 0;
};

}  // namespace rur
