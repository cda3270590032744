// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's firmware upgrade command: the run itself is the firmware service's; around it the
// day-log lines and the hold of the signals that would end the process mid-flash.
#include <cstdio>

#include "app/engine.h"
#include "firmware/firmware_image.h"
#include "monitor/device_names.h"
#include "monitor/event_log.h"
#include "platform/date_time_text.h"
#include "platform/interruption_hold.h"

namespace rur {
namespace {

std::string VersionText(std::uint32_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", version);
  return text;
}

}  // namespace

std::optional<UpgradeVersions> Engine::PickedUpgradeVersions() const {
  const unsigned position = firmware_.pickedDevice();
  if (!firmware_.image().loaded() || position >= devices_.currentCount) return std::nullopt;
  const IdentifyBlock& identity = identity_[DriveAt(position)];
  return UpgradeVersions{position, DeviceProductName(identity), VersionText(DeviceFirmwareVersion(identity)),
                         VersionText(FirmwareImageVersion(firmware_.image()))};
}

UpgradeOutcome Engine::RunUpgrade() {
  if (controllersRelayed()) {
    // The flash is the service's to write: a run here could not read or write it.
    ui_.messageBox("rode-rurd owns the controllers of this host: the upgrade is its to run.", "Firmware Upgrade",
                   MessageKind::Information);
    return UpgradeOutcome::DeviceBusy;
  }
  // A second click while a run goes on is the service's to refuse; it is no new upgrade.
  const std::optional<UpgradeVersions> versions = UpgradeRunning() ? std::nullopt : PickedUpgradeVersions();
  const auto log = [this, &versions](const std::string& line) {
    if (!eventLog_ || !versions) return;
    const LocalDateTime now = clock_.localTime();
    std::string error;
    if (!eventLog_->AppendLine(line + ", " + FormatDateTime(now), now, error,
                               EventTag(LogEventKind::FirmwareUpgrade, versions->position)))
      ui_.panel(4, "Event log kept in memory: " + error);
  };
  if (versions) log(UpgradeStartLine(*versions));
  UpgradeOutcome outcome;
  {
    const InterruptionHold hold(kUpgradeKeepsRunningNotice);
    outcome = firmware_.RunUpgrade();
  }
  if (versions) log(UpgradeOutcomeLine(*versions, outcome));
  return outcome;
}

}  // namespace rur
