// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/status_report.h"

#include "monitor/ata_text.h"
#include "monitor/capacity_text.h"
#include "monitor/device_names.h"
#include "monitor/member_disk.h"

namespace rur {
namespace {

MemberStatus Member(const StatusRecord& record, int member) {
  const bool first = member == 1;
  MemberStatus status;
  status.bay = static_cast<unsigned>(member);
  status.stateCode = record[first ? status_offset::kHdd1StateCode : status_offset::kHdd2StateCode];
  status.state = MemberStateName(record, static_cast<unsigned>(member - 1));
  status.model = TrimModelText(
      AtaStringToText(record.data() + (first ? status_offset::kHdd1Model : status_offset::kHdd2Model), kModelLength));
  status.serial =
      AtaStringToText(record.data() + (first ? status_offset::kHdd1Serial : status_offset::kHdd2Serial), kSerialLength);
  status.capacitySectors =
      ReadLe(record.data() + (first ? status_offset::kHdd1Capacity : status_offset::kHdd2Capacity), 5);
  status.capacityText = CapacityText(status.capacitySectors);
  return status;
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

std::vector<DeviceStatus> CollectStatus(Engine& engine) {
  std::vector<DeviceStatus> devices;
  const unsigned selected = engine.selectedDevice();
  for (unsigned i = 0; i < engine.deviceCount(); ++i) {
    engine.SelectDevice(i);
    const unsigned drive = engine.DriveAt(i);
    const StatusRecord& record = engine.record(drive);
    const StatusPageView& view = engine.statusPage();
    DeviceStatus status;
    status.device = i + 1;
    status.drive = drive;
    status.path = engine.DriveNames(drive).path;
    status.byId = engine.DriveNames(drive).byId;
    status.controllerKind = static_cast<int>(engine.devices().currentInfo[i].controllerKind);
    status.product = DeviceProductName(engine.identity(drive));
    status.nameText = engine.DeviceNameText(i);
    status.firmware = view.firmware;
    status.firmwareValid = view.firmwareValid;
    status.mode = record[status_offset::kArrayMode];
    status.modeText = view.mode;
    status.redundancyNote = view.redundancyNote;
    status.capacitySectors = ReadLe(record.data() + status_offset::kArrayCapacity, 5);
    status.capacityText = view.systemCapacity;  // empty while nothing was read
    status.driveFlags = record[status_offset::kDriveFlags];
    status.activityFlags = record[status_offset::kActivityFlags];
    status.progress = record[status_offset::kActivityProgress];
    status.arrayState = view.arrayState;
    status.fanRpm = record[status_offset::kFanSpeed] + 256u * record[status_offset::kFanSpeed + 1];
    status.temperature = record[status_offset::kTemperature];
    status.sensorShown = view.sensorPanelShown;
    const StatusCurrency currency = engine.Currency(i);
    status.current = currency.current;
    status.error = currency.error;
    status.health = ArrayHealthOf(record);
    status.members[0] = Member(record, 1);
    status.members[1] = Member(record, 2);
    devices.push_back(std::move(status));
  }
  if (selected < engine.deviceCount()) engine.SelectDevice(selected);
  return devices;
}

std::string StatusText(const std::vector<DeviceStatus>& devices) {
  std::string text;
  for (const DeviceStatus& d : devices) {
    text += "Device" + std::to_string(d.device) + " (drive " + std::to_string(d.drive) + "): " + d.nameText + "\n";
    text += "  Mode:              " + d.modeText + "\n";
    if (!d.redundancyNote.empty()) text += "                     " + d.redundancyNote + "\n";
    text += "  System Capacity:   " + d.capacityText + "\n";
    text += "  Firmware Version:  " + d.firmware + "\n";
    if (!d.firmwareValid) text += "  Firmware:          the flash holds no valid image; run the upgrade again\n";
    text += UpgradeLine(d.upgrade);
    if (d.sensorShown)
      text += "  Fan:               " + std::to_string(d.fanRpm) + " RPM, temperature " +
              std::to_string(d.temperature) + "\n";
    for (const MemberStatus& m : d.members) {
      text += "  HDD" + std::to_string(m.bay) + ":              " + m.state;
      if (m.state != "none") text += ", " + m.model + ", serial \"" + Trimmed(m.serial) + "\", " + m.capacityText;
      text += "\n";
    }
    std::string state = d.arrayState;
    for (auto& c : state)
      if (c == '\n') c = ' ';
    text += "  State:             " + state + "\n";
    if (!d.current) text += "  Not current:       " + d.error + "\n";
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
    for (const MemberStatus& m : d.members) {
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
