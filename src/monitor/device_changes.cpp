// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/device_changes.h"

#include "monitor/blocks_differ.h"

namespace rur {
namespace {

std::string Found(std::size_t index) { return "D" + std::to_string(index + 1) + " New Device was found."; }
std::string Removed(std::size_t index) { return "D" + std::to_string(index + 1) + " Device was removed."; }

}  // namespace

std::vector<DeviceChange> DetectDeviceChanges(const std::vector<IdentifyBlock>& oldDevices,
                                              const std::vector<IdentifyBlock>& newDevices) {
  std::vector<DeviceChange> changes;
  const std::size_t oldCount = oldDevices.size();
  const std::size_t newCount = newDevices.size();
  if (oldCount == newCount) return changes;
  auto same = [&](std::size_t k, std::size_t j) {
    return BlocksDiffer(oldDevices[k].data(), newDevices[j].data(), oldDevices[k].size()) == 0;
  };
  auto found = [&](std::size_t j) { changes.push_back({Found(j), -1}); };
  auto removed = [&](std::size_t k) { changes.push_back({Removed(k), static_cast<int>(k)}); };

  if (oldCount == 0) {
    for (std::size_t j = 0; j < newCount; ++j) found(j);
    return changes;
  }
  if (newCount == 0) {
    for (std::size_t k = 0; k < oldCount; ++k) removed(k);
    return changes;
  }
  std::size_t k = 0, j = 0;
  for (;;) {
    if (same(k, j)) {
      ++k;
      ++j;
    } else {
      std::size_t match = j;
      while (match < newCount && !same(k, match)) ++match;
      if (match < newCount) {
        for (std::size_t x = j; x < match; ++x) found(x);
        j = match + 1;
      } else {
        removed(k);
      }
      ++k;
    }
    if (k >= oldCount) {
      for (; j < newCount; ++j) found(j);
      break;
    }
    if (j >= newCount) {
      for (; k < oldCount; ++k) removed(k);
      break;
    }
  }
  return changes;
}

}  // namespace rur
