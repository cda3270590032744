// SPDX-License-Identifier: GPL-3.0-or-later
// What this host says about itself: its board (DMI), its name and its network addresses.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <climits>

#include "notify/system_info.h"
#include "platform/atomic_file.h"

namespace rur {

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
