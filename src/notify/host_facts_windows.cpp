// SPDX-License-Identifier: GPL-3.0-or-later
// What a Windows host says about itself through the environment: its computer name. Its board and
// its network addresses are not asked for in this build, so a mail names the host by name alone.
#include <cstdlib>

#include "notify/system_info.h"

namespace rur {

HostFacts CollectHostFacts(const std::string&) {
  HostFacts facts;
  if (const char* name = std::getenv("COMPUTERNAME")) facts.systemName = name;
  facts.interfaces = ListInterfaceAddresses();
  return facts;
}

std::vector<InterfaceAddresses> ListInterfaceAddresses() { return {}; }

}  // namespace rur
