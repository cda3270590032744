// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/enclosure_health.h"

#include <algorithm>

namespace rur {
namespace {

constexpr const char* kNoCopyLeft = "the only complete copy of the data is gone";

void Raise(EnclosureHealth& health, HealthLevel level, const std::string& what) {
  health.level = std::max(health.level, level);
  health.summary += (health.summary.empty() ? "" : ", ") + what;
}

std::string MembersAside(const EnclosureStatus& status) {
  std::string text;
  if (!status.array) return text;
  for (unsigned bay = 0; bay < 2; ++bay) {
    const MemberStatus& member = status.array->members[bay];
    if (member.state == MemberState::Present) continue;
    text += (text.empty() ? "" : ", ") + std::string("HDD") + std::to_string(bay + 1) + ' ' +
            std::string(MemberStateWord(member.state));
    if (member.state == MemberState::Rebuilding) text += ' ' + std::to_string(status.rebuildPercent) + '%';
  }
  return text;
}

}  // namespace

const char* HealthLevelWord(HealthLevel level) {
  switch (level) {
    case HealthLevel::Good: return "good";
    case HealthLevel::Warning: return "warning";
    case HealthLevel::Critical: return "critical";
  }
  return "critical";
}

EnclosureHealth HealthOf(const EnclosureStatus& status, bool answering, const SensorLimits& limits) {
  EnclosureHealth health;
  health.answering = answering;
  health.array = ArrayStateOf(status);
  if (status.sensors) {
    health.fanFault =
        status.sensors->fanFailure || status.sensors->fanRpm == 0 || status.sensors->fanRpm < limits.fanMinRpm;
    health.overheated = status.sensors->overTemperature || status.sensors->temperatureC >= limits.tempAlarmC;
  }
  health.firmwareInvalid = !status.firmwareValid;
  if (!answering) Raise(health, HealthLevel::Critical, "not answering");
  const std::string members = MembersAside(status);
  switch (health.array) {
    case ArrayState::Normal: break;
    case ArrayState::Failed:
      Raise(health, HealthLevel::Critical, "failed" + (members.empty() ? "" : ": " + members));
      // A mirror that failed has no disk left with all of the data on it.
      if (status.array && status.array->mode == kModeMirroring) Raise(health, HealthLevel::Critical, kNoCopyLeft);
      break;
    case ArrayState::Degraded: Raise(health, HealthLevel::Warning, "degraded: " + members); break;
    case ArrayState::Rebuilding: Raise(health, HealthLevel::Warning, "rebuilding: " + members); break;
  }
  if (health.fanFault) Raise(health, HealthLevel::Critical, "fan " + std::to_string(status.sensors->fanRpm) + " RPM");
  if (health.overheated)
    Raise(health, HealthLevel::Critical,
          std::to_string(status.sensors->temperatureC) +
              " \xC2\xB0"
              "C");
  if (health.firmwareInvalid) Raise(health, HealthLevel::Critical, "no valid firmware");
  if (health.summary.empty()) health.summary = "normal";
  return health;
}

}  // namespace rur
