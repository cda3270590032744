// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where another process owns the controllers of the host (the system service), a channel asks it
// instead of reaching the device: it forwards the status queries and whole pages of a member disk,
// and nothing that changes the controller. A relay never sends a command frame of its own.

#include <array>
#include <cstdint>

#include "transport/response_sector.h"
#include "transport/result_codes.h"

namespace rur {

// One page of a member disk (IDENTIFY DEVICE or a SMART page): the data windows of its chunks.
using MemberPage = std::array<std::uint8_t, 512>;

class ControllerRelay {
 public:
  virtual ~ControllerRelay() = default;
  // A status query (probe, identity, rebuild, members): the controller's whole answer sector.
  virtual ResultCode Query(unsigned drive, std::uint8_t code, Sector& answer) = 0;
  // IDENTIFY DEVICE or a SMART read (data or thresholds) of the disk on a controller port.
  virtual ResultCode ReadMemberPage(unsigned drive, std::uint8_t ataCode, std::uint8_t port, MemberPage& page) = 0;
};

}  // namespace rur
