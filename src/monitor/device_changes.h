// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which enclosures came and went between two detections, as lines for the event log.

#include <string>
#include <vector>

#include "monitor/identify_block.h"

namespace rur {

struct DeviceChange {
  std::string line;        // "D2 New Device was found." or "D1 Device was removed."
  int removedDevice = -1;  // the old device index whose removal raises an alarm
};

// Devices are the same when their whole identity blocks are equal. Only a change of the count is
// looked at: equal counts report nothing.
std::vector<DeviceChange> DetectDeviceChanges(const std::vector<IdentifyBlock>& oldDevices,
                                              const std::vector<IdentifyBlock>& newDevices);

constexpr const char* kDeviceHadChangedLine = "    Device had changed.";

}  // namespace rur
