// SPDX-License-Identifier: GPL-3.0-or-later
// The disk-health memory is a file of the data folder that a full disk or a careless hand may
// damage: whatever bytes it holds, parsing must end cleanly, and what parses must be written and
// read back to the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "smart/disk_health_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::map<std::string, rur::ReportedHealth> disks;
  std::string error;
  if (!rur::ParseDiskHealthFile(std::string(reinterpret_cast<const char*>(data), size), disks, error)) return 0;
  const std::string written = rur::DiskHealthFileText(disks);
  std::map<std::string, rur::ReportedHealth> again;
  if (!rur::ParseDiskHealthFile(written, again, error)) std::abort();
  if (rur::DiskHealthFileText(again) != written) std::abort();
  return 0;
}
