// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/system_info.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

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
static std::string ReadFirstLine(const std::string& path) {
  std::string contents;
  std::string error;
  if (ReadWholeFile(path, contents, error) != FileReadStatus::Ok) return {};
  contents = contents.substr(0, contents.find('\n'));
  while (!contents.empty() && (contents.back() == ' ' || contents.back() == '\r' || contents.back() == '\t'))
    contents.pop_back();
  return contents;
}

HostFacts CollectHostFacts(const std::string& dmiFolder) {
  HostFacts facts;
  facts.boardVendor = ReadFirstLine(dmiFolder + "/board_vendor");
  facts.boardName = ReadFirstLine(dmiFolder + "/board_name");
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) == 0) facts.systemName = name;
  facts.interfaces = ListInterfaceAddresses();
  return facts;
}

std::vector<InterfaceAddresses> ListInterfaceAddresses() {
  std::vector<InterfaceAddresses> interfaces;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return interfaces;
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    const std::string name = entry->ifa_name ? entry->ifa_name : "";
    InterfaceAddresses* interface = nullptr;
    for (auto& known : interfaces)
      if (known.name == name) interface = &known;
    if (!interface) {
      interfaces.push_back({name, (entry->ifa_flags & IFF_LOOPBACK) != 0, {}});
      interface = &interfaces.back();
    }
    if (!entry->ifa_addr) continue;
    char text[INET6_ADDRSTRLEN] = {};
    if (entry->ifa_addr->sa_family == AF_INET) {
      const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
      if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) interface->addresses.emplace_back(text);
    } else if (entry->ifa_addr->sa_family == AF_INET6) {
      const auto* address = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
      if (inet_ntop(AF_INET6, &address->sin6_addr, text, sizeof text)) interface->addresses.emplace_back(text);
    }
  }
  freeifaddrs(list);
  return interfaces;
}

}  // namespace rur
