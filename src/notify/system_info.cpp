// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/system_info.h"

#include <climits>

#include "platform/atomic_file.h"

namespace rur {

std::string QueryPropertyText(const std::vector<std::string>& values) {
  for (const auto& value : values)
    if (!value.empty()) return value;
  return {};
}

std::string IpAddressText(const std::vector<InterfaceAddresses>& interfaces) {
  std::vector<std::string> perInterface;
  for (const auto& interface : interfaces) {
    if (interface.loopback) continue;
    std::string joined;
    for (const auto& address : interface.addresses) {
      if (address.empty()) continue;
      if (!joined.empty()) joined += ", ";
      joined += address;
    }
    perInterface.push_back(joined);
  }
  return QueryPropertyText(perInterface);
}

std::vector<std::string> SystemInfoText(const HostFacts& facts) {
  return {
      "\n=========== [System Information] ==============",
      "\nMotherBoard : " + facts.boardVendor + " - " + facts.boardName,
      "\nSystem Name : " + facts.systemName,
      "\nIP Address  : " + IpAddressText(facts.interfaces),
      "\n===============================================",
  };
}

std::string SystemInfoMessage(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line;
  return text;
}

// The first line of a small sysfs file, without its line end; empty when it cannot be read.
}  // namespace rur
