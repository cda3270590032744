// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A mounted volume of the host and the physical drive it lives on. On Linux a volume is a mounted
// partition of one of the numbered disks, named by its kernel name (for example "sdb1").

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rur {

struct MountedVolume {
  std::string name;
  unsigned driveNumber = 0;
  std::uint64_t startOffset = 0;  // bytes
  std::uint64_t length = 0;       // bytes
};

// Lists the host's volumes now (the simulator lists its scenario's).
using VolumeLister = std::function<std::vector<MountedVolume>()>;

}  // namespace rur
