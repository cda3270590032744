// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/enclosure_object.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "cli/engine_session.h"
#include "cli/smart_report.h"
#include "firmware/firmware_image.h"
#include "monitor/member_disk.h"
#include "service/authorization.h"
#include "service/service_errors.h"
#include "smart/read_smart_pages.h"
#include "transport/commands.h"
#include "transport/controller_channel.h"

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
      {"FirmwareVersion", {"firmware"}},
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

EnclosureObject::EnclosureObject(sdbus::IConnection& connection, Program& program, ServiceUi& ui, UpgradeJobs& jobs,
                                 const DeviceStatus& status)
    : AdaptorInterfaces(connection, EnclosureObjectPath(status.device)),
      program_(program),
      ui_(ui),
      jobs_(jobs),
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

std::string EnclosureObject::FirmwareVersion() {
  const Engine& engine = program_.engine();
  if (status_.drive >= kIdentifySlots) return std::string();
  char text[16];
  std::snprintf(text, sizeof text, "%X", DeviceFirmwareVersion(engine.identity(status_.drive)));
  return text;
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
                       {"state", sdbus::Variant(BusText(member.state))},
                       {"model", sdbus::Variant(BusText(member.model))},
                       {"serial", sdbus::Variant(BusText(member.serial))},
                       {"capacity_sectors", sdbus::Variant(static_cast<uint64_t>(member.capacitySectors))},
                       {"capacity_text", sdbus::Variant(BusText(member.capacityText))}});
  }
  return members;
}

std::string EnclosureObject::Label() const {
  return "Device" + std::to_string(status_.device) + " (drive " + std::to_string(status_.drive) + ")";
}

unsigned EnclosureObject::Position() const {
  const Engine& engine = program_.engine();
  if (jobs_.Busy()) throw jobs_.BusyError();
  const unsigned position = status_.device - 1;
  if (position >= engine.deviceCount() || engine.DriveAt(position) != status_.drive)
    throw sdbus::Error(kErrorNoSuchEnclosure, Label() + " is no longer there; list the enclosures again");
  return position;
}

sdbus::ObjectPath EnclosureObject::BackupFirmware(const sdbus::UnixFd& fd, const uint32_t& length) {
  RequireAuthorization(getObject(), kActionBackupFirmware, "reading the flash of " + Label());
  if (length == 0 || length > kSpiReachableBytes)
    throw sdbus::Error(kErrorInvalidArgument, "the length must be between 1 and " + std::to_string(kSpiReachableBytes) +
                                                  " bytes, not " + std::to_string(length));
  return jobs_.StartBackup(Position(), fd, length);
}

std::map<std::string, sdbus::Variant> EnclosureObject::GetSmart(const uint32_t& member) {
  if (member < 1 || member > std::size(status_.members))
    throw sdbus::Error(kErrorInvalidArgument, "the member is the bay 1 or 2, not " + std::to_string(member));
  const unsigned position = Position();
  Engine& engine = program_.engine();
  engine.ReadSmartNow();
  engine.SelectDevice(position);  // the heading takes the model as the status page shows it
  engine.SelectSmartBay(member - 1);
  const std::string bayName = "HDD" + std::to_string(member);
  const std::string label = cli::DeviceLabel(engine, position);
  if (!engine.smart().state().store[position][member - 1].dataRead) {
    const MemberStatus* disk = engine.enclosure(position)->status.member(member - 1);
    const bool holdsDisk = disk != nullptr && disk->holdsDisk();
    throw sdbus::Error(kErrorFailed, label + ": " +
                                         (holdsDisk ? "the SMART data of " + bayName + " could not be read"
                                                    : bayName + " holds no disk"));
  }
  const SmartPageModel& page = engine.smart().page();
  std::vector<std::map<std::string, sdbus::Variant>> rows;
  for (std::size_t r = 0; r < page.rowCount && r < page.rows.size(); ++r) {
    const SmartRow& row = page.rows[r];
    rows.push_back({{"id", sdbus::Variant(row.attribute.id)},
                    {"name", sdbus::Variant(row.cells[kColumnName])},
                    {"value", sdbus::Variant(row.attribute.current)},
                    {"worst", sdbus::Variant(row.attribute.worst)},
                    {"threshold", sdbus::Variant(row.attribute.threshold)},
                    {"value_text", sdbus::Variant(row.cells[kColumnCurrent])},
                    {"worst_text", sdbus::Variant(row.cells[kColumnWorst])},
                    {"threshold_text", sdbus::Variant(row.cells[kColumnThreshold])},
                    {"raw", sdbus::Variant(row.cells[kColumnRaw])},
                    {"status", sdbus::Variant(row.cells[kColumnStatus])},
                    {"colour", sdbus::Variant(RgbText(row.colour))}});
  }
  return {{"device", sdbus::Variant(static_cast<uint32_t>(position + 1))},
          {"bay", sdbus::Variant(member)},
          {"label", sdbus::Variant(BusText(label))},
          {"heading", sdbus::Variant(BusText(page.heading))},
          {"verdict", sdbus::Variant(page.verdict)},
          {"verdict_colour", sdbus::Variant(RgbText(page.verdictColour))},
          {"grid_visible", sdbus::Variant(page.gridVisible)},
          {"thresholds_valid", sdbus::Variant(engine.smart().state().thresholdsValid)},
          {"rows", sdbus::Variant(rows)}};
}

std::tuple<uint8_t, std::vector<uint8_t>> EnclosureObject::Query(const uint8_t& code) {
  // Only the status queries: other codes reach commands that change the controller.
  constexpr std::uint8_t kStatusQueries[] = {QUERY_PROBE, QUERY_IDENTITY, QUERY_REBUILD, QUERY_MEMBERS};
  if (std::find(std::begin(kStatusQueries), std::end(kStatusQueries), code) == std::end(kStatusQueries))
    throw sdbus::Error(kErrorInvalidArgument, "not a status query; the codes are 10, 11, 15 and 17");
  Position();
  Sector answer{};
  ControllerChannel channel(program_.drives(), program_.clock(), ui_);
  const ResultCode result = channel.Query(status_.drive, code, answer);
  if (result == kResultControllerBusy)
    throw sdbus::Error(kErrorBusy,
                       "drive " + std::to_string(status_.drive) + " is in use by " + channel.record().busyHolder);
  return {result, std::vector<uint8_t>(answer.begin(), answer.end())};
}

std::tuple<uint8_t, std::vector<uint8_t>> EnclosureObject::ReadMemberPage(const uint8_t& ataCode, const uint8_t& port) {
  // Reads only: other ATA commands could change the disk.
  constexpr std::uint8_t kPageReads[] = {ATA_IDENTIFY_DEVICE, SMART_READ_DATA, SMART_READ_THRESHOLDS};
  if (std::find(std::begin(kPageReads), std::end(kPageReads), ataCode) == std::end(kPageReads))
    throw sdbus::Error(kErrorInvalidArgument, "not a page read; the codes are 236, 208 and 209");
  if (port > 1) throw sdbus::Error(kErrorInvalidArgument, "the port is 0 or 1, not " + std::to_string(port));
  Position();
  SmartPage page{};
  ControllerChannel channel(program_.drives(), program_.clock(), ui_);
  // One hold for the issue and its fetches, so no other command comes between them.
  const HoldAttempt held = program_.drives().HoldController(status_.drive, kShortCommandHoldWaitMs);
  if (held.outcome == HoldAttempt::Outcome::Busy)
    throw sdbus::Error(kErrorBusy, "drive " + std::to_string(status_.drive) + " is in use by " + held.holder);
  if (held.outcome == HoldAttempt::Outcome::Failed)
    throw sdbus::Error(kErrorFailed, "cannot reach drive " + std::to_string(status_.drive) + ": " + held.error);
  const bool whole = rur::ReadMemberPage(channel, status_.drive, ataCode, port, page);
  const ResultCode result = whole ? kResultOk : channel.record().lastResult;
  return {result, std::vector<uint8_t>(page.begin(), page.end())};
}

sdbus::ObjectPath EnclosureObject::UpgradeFirmware(const sdbus::UnixFd& fd,
                                                   const std::map<std::string, sdbus::Variant>& options) {
  RequireAuthorization(getObject(), kActionUpgradeFirmware, "upgrading the firmware of " + Label());
  bool force = false;
  for (const auto& [name, value] : options) {
    if (name == "force" && value.containsValueOfType<bool>())
      force = value.get<bool>();
    else
      throw sdbus::Error(kErrorInvalidArgument, "unknown option " + name + "; the one option is force (a boolean)");
  }
  return jobs_.Start(Position(), fd.get(), force);
}

}  // namespace rur::service
