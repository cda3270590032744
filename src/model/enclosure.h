// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's model of the host's enclosures: one Enclosure per enclosure found, holding who it
// is, its latest typed status, how far that status is current and its one health. The engine
// publishes the whole list as one value after every detection and refresh cycle; the window,
// rurctl, the metrics and the service all read it and nothing else of the enclosure.

#include <string>
#include <vector>

#include "model/enclosure_health.h"
#include "monitor/enclosure_status.h"
#include "transport/response_sector.h"

namespace rur {

struct EnclosureIdentity {
  unsigned drive = 0;
  std::string path;  // the device node ("/dev/sdb"), empty when unknown
  std::string byId;  // its /dev/disk/by-id name, empty when it has none
  ControllerKind controllerKind = ControllerKind::Raid;
};

struct Enclosure {
  unsigned position = 0;  // in the device list; the window calls it "Device<position + 1>"
  EnclosureIdentity identity;
  std::string nameText;  // product and volumes, as the device buttons' hints show them
  EnclosureStatus status;
  bool answering = true;  // the refresh has not given up on it
  bool current = true;    // its last query succeeded
  std::string error;      // why it is not current
  EnclosureHealth health;
};

using EnclosureList = std::vector<Enclosure>;

}  // namespace rur
