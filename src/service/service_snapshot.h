// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the bus shows of the engine, taken whole on the engine's thread after every cycle and never
// changed afterwards: every read of a client is answered from the latest one, without waiting for
// the engine or a controller.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/program.h"
#include "cli/status_report.h"

namespace rur::service {

struct EnclosureFacts {
  DeviceStatus status;               // as rurctl status reports it, the upgrade's condition included
  std::string key;                   // what identifies the enclosure: its by-id name, else its device path
  std::string firmwareVersion;       // in hex, as an image's version is compared with it
  std::uint32_t upgradePercent = 0;  // of the running step, while an upgrade runs
};

struct ServiceSnapshot {
  std::vector<EnclosureFacts> enclosures;
  unsigned refreshCount = 0;
  unsigned deviceCount = 0;
  std::uint64_t takenMs = 0;  // on the program's clock
};

using SnapshotPointer = std::shared_ptr<const ServiceSnapshot>;

// The upgrade this service runs itself, which the journal alone cannot show as running.
struct OwnUpgrade {
  bool running = false;
  unsigned drive = 0;
  UpgradeStep step = UpgradeStep::Erase;
  std::uint32_t percent = 0;
};

// Takes the model as the engine holds it now; on the engine's thread only.
SnapshotPointer TakeSnapshot(Program& program, const OwnUpgrade& own);

// What identifies an enclosure to the bus: its by-id name, else its device path.
std::string IdentityKey(const std::string& byId, const std::string& path);
// The position in the engine's device list of the enclosure `key` names, if it is there; on the
// engine's thread only.
std::optional<unsigned> PositionOfKey(const Engine& engine, const std::string& key);

// The step's name as the job and the properties show it: "erase", "program", "verify".
std::string StepWord(UpgradeStep step);

}  // namespace rur::service
