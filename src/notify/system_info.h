// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The short host description every mail carries: motherboard maker and product, the host's name
// and its IP addresses, collected once at start-up.

#include <string>
#include <vector>

namespace rur {

struct InterfaceAddresses {
  std::string name;
  bool loopback = false;
  std::vector<std::string> addresses;  // IPv4 and IPv6, as the system lists them
};

struct HostFacts {
  std::string boardVendor;
  std::string boardName;
  std::string systemName;
  std::vector<InterfaceAddresses> interfaces;
};

// The first value that is not empty, or the empty text.
std::string QueryPropertyText(const std::vector<std::string>& values);
// The addresses of the first interface (loopback left out) that has any, joined with ", ".
std::string IpAddressText(const std::vector<InterfaceAddresses>& interfaces);

// The five lines; each starts with a line feed.
std::vector<std::string> SystemInfoText(const HostFacts& facts);
// All lines joined without separator, as the host description box shows them.
std::string SystemInfoMessage(const std::vector<std::string>& lines);

// What this host says about itself; `dmiFolder` holds board_vendor and board_name.
HostFacts CollectHostFacts(const std::string& dmiFolder = "/sys/class/dmi/id");
// The interfaces and addresses of getifaddrs, in its order.
std::vector<InterfaceAddresses> ListInterfaceAddresses();

}  // namespace rur
