// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/enclosure_object.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "service/authorization.h"
#include "service/service_errors.h"
#include "transport/commands.h"

namespace rur::service {
namespace {

constexpr const char* kObjectPathPrefix = "/org/roderur/RodeRur1/enclosure";

// Which key of the JSON facts each property shows; a property whose keys changed is signalled.
struct PropertyKeys {
  const char* property;
  std::vector<const char*> keys;
};

const std::vector<PropertyKeys>& PropertyTable() {
  static const std::vector<PropertyKeys> table{
      {"Device", {"device"}},
      {"Drive", {"drive"}},
      {"Path", {"path"}},
      {"ById", {"by_id"}},
      {"ControllerKind", {"controller_kind"}},
      {"Product", {"product"}},
      {"NameText", {"name_text"}},
      {"Firmware", {"firmware"}},
      {"FirmwareValid", {"firmware_valid"}},
      {"Upgrade", {"upgrade", "upgrade_step"}},
      {"ModeCode", {"mode"}},
      {"Mode", {"mode_text"}},
      {"RedundancyNote", {"redundancy_note"}},
      {"CapacitySectors", {"capacity_sectors"}},
      {"CapacityText", {"capacity_text"}},
      {"DriveFlags", {"drive_flags"}},
      {"ActivityFlags", {"activity_flags"}},
      {"Progress", {"progress"}},
      {"ArrayState", {"array_state"}},
      {"Fan", {"fan_rpm"}},
      {"Temperature", {"temperature"}},
      {"SensorShown", {"sensor_shown"}},
      {"Current", {"current"}},
      {"Error", {"error"}},
      {"Health", {"degraded", "failed"}},
      {"Members", {"members"}},
  };
  return table;
}

// The JSON facts of one enclosure, with the two that status --json leaves out.
nlohmann::json FactsOf(const DeviceStatus& status) {
  nlohmann::json facts = StatusJson({status}).at(0);
  facts["name_text"] = status.nameText;
  facts["error"] = status.error;
  return facts;
}

}  // namespace

std::string EnclosureObjectPath(unsigned device) { return kObjectPathPrefix + std::to_string(device); }

EnclosureObject::EnclosureObject(sdbus::IConnection& connection, Program& program, const DeviceStatus& status)
    : AdaptorInterfaces(connection, EnclosureObjectPath(status.device)),
      program_(program),
      status_(status),
      facts_(FactsOf(status)) {
  registerAdaptor();
}

EnclosureObject::~EnclosureObject() { unregisterAdaptor(); }

void EnclosureObject::Update(const DeviceStatus& status) {
  nlohmann::json facts = FactsOf(status);
  std::vector<std::string> changed;
  for (const auto& entry : PropertyTable()) {
    for (const char* key : entry.keys) {
      if (facts.value(key, nlohmann::json()) != facts_.value(key, nlohmann::json())) {
        changed.emplace_back(entry.property);
        break;
      }
    }
  }
  status_ = status;
  facts_ = std::move(facts);
  if (!changed.empty()) getObject().emitPropertiesChangedSignal(INTERFACE_NAME, changed);
}

std::string EnclosureObject::Health() {
  if (status_.health.failed) return "failed";
  if (status_.health.degraded) return "degraded";
  return "healthy";
}

std::vector<std::map<std::string, sdbus::Variant>> EnclosureObject::Members() {
  std::vector<std::map<std::string, sdbus::Variant>> members;
  for (const MemberReport& member : status_.members) {
    members.push_back({{"bay", sdbus::Variant(static_cast<uint32_t>(member.bay))},
                       {"state_code", sdbus::Variant(member.stateCode)},
                       {"state", sdbus::Variant(member.state)},
                       {"model", sdbus::Variant(member.model)},
                       {"serial", sdbus::Variant(member.serial)},
                       {"capacity_sectors", sdbus::Variant(static_cast<uint64_t>(member.capacitySectors))},
                       {"capacity_text", sdbus::Variant(member.capacityText)}});
  }
  return members;
}

void EnclosureObject::BackupFirmware(const sdbus::UnixFd& fd, const uint32_t& length) {
  const std::string label =
      "Device" + std::to_string(status_.device) + " (drive " + std::to_string(status_.drive) + ")";
  RequireAuthorization(getObject(), kActionBackupFirmware, "reading the flash of " + label);
  if (length == 0 || length > kSpiReachableBytes)
    throw sdbus::Error(kErrorInvalidArgument, "the length must be between 1 and " + std::to_string(kSpiReachableBytes) +
                                                  " bytes, not " + std::to_string(length));
  Engine& engine = program_.engine();
  if (engine.UpgradeRunning()) throw sdbus::Error(kErrorBusy, "a firmware upgrade runs; try again when it is over");
  std::vector<std::uint8_t> bytes;
  if (!engine.BackupFlash(status_.device - 1, length, bytes))
    throw sdbus::Error(kErrorFailed, "the flash of " + label + " could not be read");
  bytes.resize(length);
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0)
      throw sdbus::Error(kErrorFailed, std::string("the backup file could not be written: ") + std::strerror(errno));
    written += static_cast<std::size_t>(count);
  }
}

}  // namespace rur::service
