// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One enclosure on the bus: the facts rurctl status shows of it, as properties of
// org.roderur.RodeRur1.Enclosure, with PropertiesChanged naming what a refresh changed. Every text
// goes out as BusText: a by-id name that is not UTF-8 must not fail the enclosure's GetAll.

#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>
#include <nlohmann/json.hpp>

#include "app/program.h"
#include "cli/status_report.h"
#include "platform/safe_text.h"
#include "service/rode_rur1_adaptor.h"
#include "service/service_ui.h"
#include "service/upgrade_jobs.h"

namespace rur::service {

// "/org/roderur/RodeRur1/enclosure1" for the first device of the list.
std::string EnclosureObjectPath(unsigned device);

class EnclosureObject final : public sdbus::AdaptorInterfaces<org::roderur::RodeRur1::Enclosure_adaptor> {
 public:
  EnclosureObject(sdbus::IConnection& connection, Program& program, ServiceUi& ui, UpgradeJobs& jobs,
                  const DeviceStatus& status);
  ~EnclosureObject();

  // Takes the enclosure's new facts and signals the properties whose value changed.
  void Update(const DeviceStatus& status);

 private:
  uint32_t Device() override { return status_.device; }
  uint32_t Drive() override { return status_.drive; }
  std::string Path() override { return BusText(status_.path); }
  std::string ById() override { return BusText(status_.byId); }
  int32_t ControllerKind() override { return status_.controllerKind; }
  std::string Product() override { return BusText(status_.product); }
  std::string NameText() override { return BusText(status_.nameText); }
  std::string Firmware() override { return BusText(status_.firmware); }
  bool FirmwareValid() override { return status_.firmwareValid; }
  std::string FirmwareVersion() override;
  std::string Upgrade() override { return UpgradeConditionName(status_.upgrade.condition); }
  uint8_t ModeCode() override { return status_.mode; }
  std::string Mode() override { return BusText(status_.modeText); }
  std::string RedundancyNote() override { return BusText(status_.redundancyNote); }
  uint64_t CapacitySectors() override { return status_.capacitySectors; }
  std::string CapacityText() override { return BusText(status_.capacityText); }
  uint8_t DriveFlags() override { return status_.driveFlags; }
  uint8_t ActivityFlags() override { return status_.activityFlags; }
  uint8_t Progress() override { return status_.progress; }
  std::string ArrayState() override { return BusText(status_.arrayState); }
  uint32_t Fan() override { return status_.fanRpm; }
  uint32_t Temperature() override { return status_.temperature; }
  bool SensorShown() override { return status_.sensorShown; }
  bool Current() override { return status_.current; }
  std::string Error() override { return BusText(status_.error); }
  std::string Health() override;
  std::vector<std::map<std::string, sdbus::Variant>> Members() override;
  sdbus::ObjectPath BackupFirmware(const sdbus::UnixFd& fd, const uint32_t& length) override;
  std::map<std::string, sdbus::Variant> GetSmart(const uint32_t& member) override;
  std::tuple<uint8_t, std::vector<uint8_t>> Query(const uint8_t& code) override;
  std::tuple<uint8_t, std::vector<uint8_t>> ReadMemberPage(const uint8_t& ataCode, const uint8_t& port) override;
  sdbus::ObjectPath UpgradeFirmware(const sdbus::UnixFd& fd,
                                    const std::map<std::string, sdbus::Variant>& options) override;
  // "Device1 (drive 2)", as rurctl names it.
  std::string Label() const;
  // The enclosure's place in the engine's device table; Error.NoSuchEnclosure once it is gone,
  // Error.Busy while an upgrade holds the controllers.
  unsigned Position() const;

  Program& program_;
  ServiceUi& ui_;
  UpgradeJobs& jobs_;

  DeviceStatus status_;
  nlohmann::json facts_;  // status_ as rurctl status --json shows it, to tell what changed
};

}  // namespace rur::service
