// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/service_snapshot.h"

#include <unistd.h>

#include <cstdio>

#include "firmware/firmware_image.h"

namespace rur::service {

std::string StepWord(UpgradeStep step) { return UpgradeStepName(step); }

std::string IdentityKey(const std::string& byId, const std::string& path) { return !byId.empty() ? byId : path; }

std::optional<unsigned> PositionOfKey(const Engine& engine, const std::string& key) {
  for (const Enclosure& enclosure : engine.enclosures())
    if (IdentityKey(enclosure.identity.byId, enclosure.identity.path) == key) return enclosure.position;
  return std::nullopt;
}

SnapshotPointer TakeSnapshot(Program& program, const OwnUpgrade& own) {
  auto snapshot = std::make_shared<ServiceSnapshot>();
  const Engine& engine = program.engine();
  snapshot->refreshCount = engine.refreshCount();
  snapshot->deviceCount = engine.deviceCount();
  snapshot->takenMs = program.clock().nowMs();
  for (DeviceStatus& status : CollectStatus(engine)) {
    EnclosureFacts facts;
    if (own.running && own.drive == status.drive) {
      status.upgrade.condition = UpgradeCondition::Running;
      status.upgrade.step = own.step;
      status.upgrade.holder = "rode-rurd (process " + std::to_string(::getpid()) + ")";
      facts.upgradePercent = own.percent;
    } else {
      status.upgrade = program.UpgradeStatusOfDrive(status.drive);
    }
    facts.key = IdentityKey(status.byId, status.path);
    if (status.drive < kIdentifySlots) {
      char text[16];
      std::snprintf(text, sizeof text, "%X", DeviceFirmwareVersion(engine.identity(status.drive)));
      facts.firmwareVersion = text;
    }
    facts.status = std::move(status);
    snapshot->enclosures.push_back(std::move(facts));
  }
  return snapshot;
}

}  // namespace rur::service
