// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/enclosure_object.h"

#include <algorithm>
#include <utility>

#include "cli/engine_session.h"
#include "cli/smart_report.h"
#include "firmware/firmware_image.h"
#include "monitor/member_disk.h"
#include "service/smart_answers.h"
#include "service/upgrade_jobs.h"
#include "smart/read_smart_pages.h"
#include "transport/commands.h"
#include "transport/controller_channel.h"

namespace rur::service {
namespace {

constexpr const char* kObjectPathPrefix = "/org/roderur/RodeRur1/enclosure/";

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
      {"FirmwareVersion", {"firmware_version"}},
      {"Upgrade", {"upgrade"}},
      {"UpgradeStep", {"upgrade_step"}},
      {"UpgradePercent", {"upgrade_percent"}},
      {"UpgradeHolder", {"upgrade_holder"}},
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

// The JSON facts of one enclosure, with those that status --json leaves out.
nlohmann::json JsonOf(const EnclosureFacts& facts) {
  const DeviceStatus& status = facts.status;
  nlohmann::json json = StatusJson({status}).at(0);
  json["name_text"] = status.nameText;
  json["error"] = status.error;
  json["firmware_version"] = facts.firmwareVersion;
  json["upgrade_percent"] = facts.upgradePercent;
  json["upgrade_holder"] = status.upgrade.holder;
  if (status.upgrade.condition != UpgradeCondition::None) json["upgrade_step"] = UpgradeStepName(status.upgrade.step);
  return json;
}

}  // namespace

std::string EnclosureObjectPath(const std::string& key) {
  std::string element = key.empty() ? std::string("_") : key;
  for (char& c : element)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = '_';
  return kObjectPathPrefix + element;
}

EnclosureObject::EnclosureObject(ServiceContext& context, std::string path, const EnclosureFacts& facts)
    : AdaptorInterfaces(context.connection, std::move(path)),
      context_(context),
      facts_(facts),
      json_(JsonOf(facts)),
      members_(MembersOf(facts.status)) {
  registerAdaptor();
  emitInterfacesAddedSignal({INTERFACE_NAME});
}

EnclosureObject::~EnclosureObject() {
  emitInterfacesRemovedSignal({INTERFACE_NAME});
  unregisterAdaptor();
}

void EnclosureObject::Update(const EnclosureFacts& facts) {
  nlohmann::json json = JsonOf(facts);
  std::vector<std::string> changed;
  for (const auto& entry : PropertyTable()) {
    for (const char* key : entry.keys) {
      if (json.value(key, nlohmann::json()) != json_.value(key, nlohmann::json())) {
        changed.emplace_back(entry.property);
        break;
      }
    }
  }
  facts_ = facts;
  json_ = std::move(json);
  members_ = MembersOf(facts.status);
  if (!changed.empty()) getObject().emitPropertiesChangedSignal(INTERFACE_NAME, changed);
}

std::string EnclosureObject::UpgradeStep() {
  return status().upgrade.condition == UpgradeCondition::None ? std::string() : UpgradeStepName(status().upgrade.step);
}

std::string EnclosureObject::Health() {
  if (status().health.failed) return "failed";
  if (status().health.degraded) return "degraded";
  return "healthy";
}

std::vector<std::map<std::string, sdbus::Variant>> EnclosureObject::Members() { return members_; }

std::vector<std::map<std::string, sdbus::Variant>> EnclosureObject::MembersOf(const DeviceStatus& status) {
  std::vector<std::map<std::string, sdbus::Variant>> members;
  for (const MemberReport& member : status.members) {
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
  return "Device" + std::to_string(status().device) + " (drive " + std::to_string(status().drive) + ")";
}

void EnclosureObject::BackupFirmware(sdbus::Result<sdbus::ObjectPath>&& result, sdbus::UnixFd fd, uint32_t length) {
  auto reply = Keep(std::move(result));
  const std::string owner = Authority::SenderOf(getObject());
  context_.authority.Check(
      owner, kActionBackupFirmware, "reading the flash of " + Label(),
      [this, reply, fd, length, owner](std::optional<sdbus::Error> refusal) {
        if (refusal) return reply->returnError(*refusal);
        if (length == 0 || length > kSpiReachableBytes)
          return reply->returnError(sdbus::Error(kErrorInvalidArgument, "the length must be between 1 and " +
                                                                            std::to_string(kSpiReachableBytes) +
                                                                            " bytes, not " + std::to_string(length)));
        context_.jobs->StartBackup(reply, facts_.key, sdbus::ObjectPath(getObjectPath()), fd, length, owner);
      });
}

void EnclosureObject::UpgradeFirmware(sdbus::Result<sdbus::ObjectPath>&& result, sdbus::UnixFd fd,
                                      std::map<std::string, sdbus::Variant> options) {
  auto reply = Keep(std::move(result));
  bool force = false;
  for (const auto& [name, value] : options) {
    if (name == "force" && value.containsValueOfType<bool>()) {
      force = value.get<bool>();
    } else {
      reply->returnError(
          sdbus::Error(kErrorInvalidArgument, "unknown option " + name + "; the one option is force (a boolean)"));
      return;
    }
  }
  const std::string owner = Authority::SenderOf(getObject());
  context_.authority.Check(owner, kActionUpgradeFirmware, "upgrading the firmware of " + Label(),
                           [this, reply, fd, force, owner](std::optional<sdbus::Error> refusal) {
                             if (refusal) return reply->returnError(*refusal);
                             context_.jobs->StartUpgrade(reply, facts_.key, sdbus::ObjectPath(getObjectPath()), fd,
                                                         force, owner);
                           });
}

void EnclosureObject::GetSmart(sdbus::Result<std::map<std::string, sdbus::Variant>>&& result, uint32_t member) {
  auto reply = Keep(std::move(result));
  if (member < 1 || member > std::size(status().members))
    return reply->returnError(
        sdbus::Error(kErrorInvalidArgument, "the member is the bay 1 or 2, not " + std::to_string(member)));
  const bool held = context_.jobs->Holds(facts_.key);
  const std::string key = facts_.key;
  context_.engine.Post([this, reply, member, held, key] {
    SmartAnswer answer = AnswerSmart(context_.engine.program(), key, member, !held);
    context_.bus.Post([reply, answer = std::move(answer)] {
      if (!answer.error.empty()) return reply->returnError(sdbus::Error(answer.errorName, answer.error));
      reply->returnResults(SmartDictionary(answer));
    });
  });
}

void EnclosureObject::AskController(KeptReply<uint8_t, std::vector<uint8_t>> reply, uint8_t code, int ataCode,
                                    uint8_t port) {
  if (context_.jobs->Holds(facts_.key)) return reply->returnError(context_.jobs->BusyError());
  const std::string key = facts_.key;
  const std::string label = Label();
  context_.engine.Post([this, reply, code, ataCode, port, key, label] {
    Program& program = context_.engine.program();
    Failure failure;
    Sector answer{};
    SmartPage page{};
    ResultCode result = kResultOk;
    const std::optional<unsigned> position = PositionOfKey(program.engine(), key);
    if (!position) {
      failure = {kErrorNoSuchEnclosure, label + " is no longer there; list the enclosures again"};
    } else {
      const unsigned drive = program.engine().DriveAt(*position);
      ControllerChannel channel(program.drives(), program.clock(), context_.ui);
      // One hold for a page read's issue and its fetches, so no other command comes between them.
      const HoldAttempt held = program.drives().HoldController(drive, kShortCommandHoldWaitMs);
      if (held.outcome == HoldAttempt::Outcome::Busy)
        failure = {kErrorBusy, "drive " + std::to_string(drive) + " is in use by " + held.holder};
      else if (held.outcome == HoldAttempt::Outcome::Failed)
        failure = {kErrorFailed, "cannot reach drive " + std::to_string(drive) + ": " + held.error};
      else if (ataCode < 0)
        result = channel.Query(drive, code, answer);
      else
        result = rur::ReadMemberPage(channel, drive, static_cast<std::uint8_t>(ataCode), port, page)
                     ? kResultOk
                     : channel.record().lastResult;
    }
    std::vector<uint8_t> bytes = ataCode < 0 ? std::vector<uint8_t>(answer.begin(), answer.end())
                                             : std::vector<uint8_t>(page.begin(), page.end());
    context_.bus.Post([reply, failure, result, bytes = std::move(bytes)] {
      if (!failure.message.empty()) return reply->returnError(sdbus::Error(failure.name, failure.message));
      reply->returnResults(result, bytes);
    });
  });
}

void EnclosureObject::Query(sdbus::Result<uint8_t, std::vector<uint8_t>>&& result, uint8_t code) {
  auto reply = Keep(std::move(result));
  // Only the status queries: other codes reach commands that change the controller.
  constexpr std::uint8_t kStatusQueries[] = {QUERY_PROBE, QUERY_IDENTITY, QUERY_REBUILD, QUERY_MEMBERS};
  if (std::find(std::begin(kStatusQueries), std::end(kStatusQueries), code) == std::end(kStatusQueries))
    return reply->returnError(
        sdbus::Error(kErrorInvalidArgument, "not a status query; the codes are 10, 11, 15 and 17"));
  AskController(reply, code, -1, 0);
}

void EnclosureObject::ReadMemberPage(sdbus::Result<uint8_t, std::vector<uint8_t>>&& result, uint8_t ataCode,
                                     uint8_t port) {
  auto reply = Keep(std::move(result));
  // Reads only: other ATA commands could change the disk.
  constexpr std::uint8_t kPageReads[] = {ATA_IDENTIFY_DEVICE, SMART_READ_DATA, SMART_READ_THRESHOLDS};
  if (std::find(std::begin(kPageReads), std::end(kPageReads), ataCode) == std::end(kPageReads))
    return reply->returnError(sdbus::Error(kErrorInvalidArgument, "not a page read; the codes are 236, 208 and 209"));
  if (port > 1)
    return reply->returnError(sdbus::Error(kErrorInvalidArgument, "the port is 0 or 1, not " + std::to_string(port)));
  AskController(reply, 0, ataCode, port);
}

}  // namespace rur::service
