// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/status_report.h"

#include "monitor/capacity_text.h"
#include "monitor/redundancy_note.h"
#include "monitor/status_page_model.h"
#include "platform/safe_text.h"

namespace rur {
namespace {

// A member being rebuilt has always been "present" here: its activity shows in the array state.
std::string StateWord(MemberState state) {
  return std::string(MemberStateWord(state == MemberState::Rebuilding ? MemberState::Present : state));
}

MemberReport Member(const EnclosureStatus& status, unsigned bay) {
  MemberReport member;
  member.bay = bay + 1;
  const MemberStatus* read = status.member(bay);
  if (read == nullptr) {
    member.state = "none";
    return member;
  }
  member.stateCode = read->stateCode;
  member.state = StateWord(read->state);
  member.model = read->model;
  member.serial = read->serial;
  member.capacitySectors = read->capacitySectors;
  member.capacityText = CapacityText(read->capacitySectors);
  return member;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string UpgradeLine(const UpgradeStatus& upgrade) {
  switch (upgrade.condition) {
    case UpgradeCondition::None: return {};
    case UpgradeCondition::Running: return "  Upgrade:           running (" + upgrade.holder + ")\n";
    case UpgradeCondition::Unfinished:
      return "  Upgrade:           unfinished, stopped at the " + std::string(UpgradeStepName(upgrade.step)) +
             " step; run the upgrade again with the same image\n";
  }
  return {};
}

}  // namespace

std::vector<DeviceStatus> CollectStatus(const Engine& engine) {
  std::vector<DeviceStatus> devices;
  for (const Enclosure& enclosure : engine.enclosures()) {
    const EnclosureStatus& s = enclosure.status;
    DeviceStatus status;
    status.device = enclosure.position + 1;
    status.drive = enclosure.identity.drive;
    status.path = enclosure.identity.path;
    status.byId = enclosure.identity.byId;
    status.controllerKind = static_cast<int>(enclosure.identity.controllerKind);
    status.product = s.product;
    status.nameText = enclosure.nameText;
    status.firmware = s.firmware;
    status.firmwareValid = s.firmwareValid;
    status.mode = s.array ? s.array->mode : 0;
    status.modeText = ModeTextOf(s);
    status.redundancyNote = s.array && ModeWithoutRedundancy(s.array->mode) ? kNoRedundancyNote : "";
    status.capacitySectors = s.capacitySectors.value_or(0);
    status.capacityText = CapacityTextOf(s);  // empty while nothing was read
    status.driveFlags = s.driveFlags;
    status.activityFlags = s.activityFlags;
    status.progress = s.rebuildPercent;
    status.arrayState = ArrayStateText(s, enclosure.answering);
    if (s.sensors) {
      status.fanRpm = s.sensors->fanRpm;
      status.temperature = s.sensors->temperatureC;
    }
    status.sensorShown = SensorsShown(s, enclosure.current);
    status.current = enclosure.current;
    status.error = enclosure.error;
    status.health = ArrayHealthOf(s);
    status.members[0] = Member(s, 0);
    status.members[1] = Member(s, 1);
    devices.push_back(std::move(status));
  }
  return devices;
}

std::string StatusText(const std::vector<DeviceStatus>& devices) {
  std::string text;
  for (const DeviceStatus& d : devices) {
    text += "Device" + std::to_string(d.device) + " (drive " + std::to_string(d.drive) +
            "): " + TerminalText(d.nameText) + "\n";
    text += "  Mode:              " + d.modeText + "\n";
    if (!d.redundancyNote.empty()) text += "                     " + d.redundancyNote + "\n";
    text += "  System Capacity:   " + d.capacityText + "\n";
    text += "  Firmware Version:  " + d.firmware + "\n";
    if (!d.firmwareValid) text += "  Firmware:          the flash holds no valid image; run the upgrade again\n";
    text += UpgradeLine(d.upgrade);
    if (d.sensorShown)
      text += "  Fan:               " + std::to_string(d.fanRpm) + " RPM, temperature " +
              std::to_string(d.temperature) + "\n";
    for (const MemberReport& m : d.members) {
      text += "  HDD" + std::to_string(m.bay) + ":              " + m.state;
      if (m.state != "none") text += ", " + m.model + ", serial \"" + Trimmed(m.serial) + "\", " + m.capacityText;
      text += "\n";
    }
    std::string state = d.arrayState;
    for (auto& c : state)
      if (c == '\n') c = ' ';
    text += "  State:             " + state + "\n";
    if (!d.current) text += "  Not current:       " + TerminalText(d.error) + "\n";
    if (d.health.failed)
      text += "  Health:            the array has failed\n";
    else if (d.health.degraded)
      text += "  Health:            degraded: the array runs without its second copy\n";
  }
  return text;
}

nlohmann::json StatusJson(const std::vector<DeviceStatus>& devices) {
  nlohmann::json list = nlohmann::json::array();
  for (const DeviceStatus& d : devices) {
    nlohmann::json members = nlohmann::json::array();
    for (const MemberReport& m : d.members) {
      members.push_back({{"bay", m.bay},
                         {"state_code", m.stateCode},
                         {"state", m.state},
                         {"model", m.model},
                         {"serial", m.serial},
                         {"capacity_sectors", m.capacitySectors},
                         {"capacity_text", m.capacityText}});
    }
    list.push_back({{"device", d.device},
                    {"drive", d.drive},
                    {"path", d.path},
                    {"by_id", d.byId},
                    {"controller_kind", d.controllerKind},
                    {"product", d.product},
                    {"firmware", d.firmware},
                    {"firmware_valid", d.firmwareValid},
                    {"upgrade", UpgradeConditionName(d.upgrade.condition)},
                    {"mode", d.mode},
                    {"mode_text", d.modeText},
                    {"redundancy_note", d.redundancyNote},
                    {"capacity_sectors", d.capacitySectors},
                    {"capacity_text", d.capacityText},
                    {"drive_flags", d.driveFlags},
                    {"activity_flags", d.activityFlags},
                    {"progress", d.progress},
                    {"array_state", d.arrayState},
                    {"fan_rpm", d.fanRpm},
                    {"temperature", d.temperature},
                    {"sensor_shown", d.sensorShown},
                    {"current", d.current},
                    {"degraded", d.health.degraded},
                    {"failed", d.health.failed},
                    {"members", members}});
    if (!d.current) list.back()["error"] = d.error;
    if (d.upgrade.condition == UpgradeCondition::Unfinished)
      list.back()["upgrade_step"] = UpgradeStepName(d.upgrade.step);
  }
  return list;
}

}  // namespace rur
