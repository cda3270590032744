// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the status page shows for each enclosure, gathered for rurctl's text and JSON output.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/engine.h"
#include "firmware/upgrade_status.h"
#include "monitor/array_health.h"

namespace rur {

struct MemberReport {
  unsigned bay = 1;
  std::uint8_t stateCode = 0;
  std::string state;  // "present", "absent", "failed", "inserted" or "none" (never read)
  std::string model;
  std::string serial;
  std::uint64_t capacitySectors = 0;
  std::string capacityText;
};

struct DeviceStatus {
  unsigned device = 1;  // numbered from 1, as the window names them
  unsigned drive = 0;
  std::string path;  // "/dev/sdb"
  std::string byId;  // the /dev/disk/by-id name, empty when it has none
  int controllerKind = 0;
  std::string product;
  std::string nameText;  // product and volumes, as the device buttons' hints
  std::string firmware;
  bool firmwareValid = true;  // the flash holds a valid image
  UpgradeStatus upgrade;      // a firmware upgrade under way or cut off; the caller fills it in
  std::uint8_t mode = 0;
  std::string modeText;
  std::string redundancyNote;  // striping and JBOD: one failing disk loses the whole array
  std::uint64_t capacitySectors = 0;
  std::string capacityText;
  std::uint8_t driveFlags = 0;
  std::uint8_t activityFlags = 0;
  std::uint8_t progress = 0;
  std::string arrayState;
  unsigned fanRpm = 0;
  unsigned temperature = 0;
  bool sensorShown = false;
  bool current = true;  // the values come from the last refresh; else they are the last good ones
  std::string error;    // why they are not current
  ArrayHealth health;
  MemberReport members[2];
};

// What the engine's model says of every enclosure.
std::vector<DeviceStatus> CollectStatus(const Engine& engine);
std::string StatusText(const std::vector<DeviceStatus>& devices);
nlohmann::json StatusJson(const std::vector<DeviceStatus>& devices);

}  // namespace rur
