// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One enclosure on the bus: the facts rurctl status shows of it, as properties of
// org.roderur.RodeRur1.Enclosure, answered from the latest snapshot, with PropertiesChanged naming
// what a new one changed. Its path comes from what identifies the enclosure, so it keeps it while
// other enclosures come and go. Methods that reach the controller are answered once the engine's
// thread has done the work.

#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>
#include <nlohmann/json.hpp>

#include "platform/safe_text.h"
#include "service/rode_rur1_adaptor.h"
#include "service/service_context.h"
#include "service/service_snapshot.h"

namespace rur::service {

// "/org/roderur/RodeRur1/enclosure/usb_ACME_Bridge_0123_0_0" for the enclosure with that identity:
// every character but letters and digits becomes '_'.
std::string EnclosureObjectPath(const std::string& key);

class EnclosureObject final
    : public sdbus::AdaptorInterfaces<org::roderur::RodeRur1::Enclosure_adaptor, sdbus::ManagedObject_adaptor> {
 public:
  EnclosureObject(ServiceContext& context, std::string path, const EnclosureFacts& facts);
  ~EnclosureObject();

  // Takes the enclosure's new facts and signals the properties whose value changed.
  void Update(const EnclosureFacts& facts);
  const std::string& key() const { return facts_.key; }

 private:
  uint32_t Device() override { return status().device; }
  uint32_t Drive() override { return status().drive; }
  std::string Path() override { return BusText(status().path); }
  std::string ById() override { return BusText(status().byId); }
  int32_t ControllerKind() override { return status().controllerKind; }
  std::string Product() override { return BusText(status().product); }
  std::string NameText() override { return BusText(status().nameText); }
  std::string Firmware() override { return BusText(status().firmware); }
  bool FirmwareValid() override { return status().firmwareValid; }
  std::string FirmwareVersion() override { return BusText(facts_.firmwareVersion); }
  std::string Upgrade() override { return UpgradeConditionName(status().upgrade.condition); }
  std::string UpgradeStep() override;
  uint32_t UpgradePercent() override { return facts_.upgradePercent; }
  std::string UpgradeHolder() override { return status().upgrade.holder; }
  std::string Identity() override { return BusText(facts_.key); }
  uint8_t ModeCode() override { return status().mode; }
  std::string Mode() override { return BusText(status().modeText); }
  std::string RedundancyNote() override { return BusText(status().redundancyNote); }
  uint64_t CapacitySectors() override { return status().capacitySectors; }
  std::string CapacityText() override { return BusText(status().capacityText); }
  uint8_t DriveFlags() override { return status().driveFlags; }
  uint8_t ActivityFlags() override { return status().activityFlags; }
  uint8_t Progress() override { return status().progress; }
  std::string ArrayState() override { return BusText(status().arrayState); }
  uint32_t Fan() override { return status().fanRpm; }
  uint32_t Temperature() override { return status().temperature; }
  bool SensorShown() override { return status().sensorShown; }
  bool Current() override { return status().current; }
  std::string Error() override { return BusText(status().error); }
  std::string Health() override;
  std::vector<std::map<std::string, sdbus::Variant>> Members() override;
  void BackupFirmware(sdbus::Result<sdbus::ObjectPath>&& result, sdbus::UnixFd fd, uint32_t length) override;
  void GetSmart(sdbus::Result<std::map<std::string, sdbus::Variant>>&& result, uint32_t member) override;
  void Query(sdbus::Result<uint8_t, std::vector<uint8_t>>&& result, uint8_t code) override;
  void ReadMemberPage(sdbus::Result<uint8_t, std::vector<uint8_t>>&& result, uint8_t ataCode, uint8_t port) override;
  void UpgradeFirmware(sdbus::Result<sdbus::ObjectPath>&& result, sdbus::UnixFd fd,
                       std::map<std::string, sdbus::Variant> options) override;

  const DeviceStatus& status() const { return facts_.status; }
  // The members as the property shows them, made once per snapshot rather than once per read.
  static std::vector<std::map<std::string, sdbus::Variant>> MembersOf(const DeviceStatus& status);
  // "Device1 (drive 2)", as rurctl names it.
  std::string Label() const;
  // Sends one controller request of the engine's thread; `reply` hears its result code and sector.
  void AskController(KeptReply<uint8_t, std::vector<uint8_t>> reply, uint8_t code, int ataCode, uint8_t port);

  ServiceContext& context_;
  EnclosureFacts facts_;
  nlohmann::json json_;  // the facts as rurctl status --json shows them, to tell what changed
  std::vector<std::map<std::string, sdbus::Variant>> members_;
};

}  // namespace rur::service
