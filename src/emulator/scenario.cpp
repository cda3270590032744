// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/scenario.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "emulator/scenario_json.h"
#include "platform/host_drives.h"
#include "platform/input_file.h"
#include "platform/program_paths.h"

namespace rur::sim {
namespace {

using namespace json_read;

constexpr std::size_t kProductNameLength = 40;
constexpr std::size_t kVendorLength = 8;
constexpr std::size_t kProductLength = 16;
constexpr std::size_t kRevisionLength = 4;
constexpr std::uint64_t kMax48Bits = 0xFFFFFFFFFFFFull;
constexpr std::uint64_t kMax40Bits = 0xFFFFFFFFFFull;
constexpr std::uint32_t kSmallestImage = 256;                 // identification reads the first 256 bytes of the flash
constexpr std::uint64_t kDefaultMemberCapacity = 1953525168;  // a 1 TB disk

struct Named {
  std::string_view name;
  std::uint8_t value;
};

constexpr Named kStateNames[] = {{"present", kMemberPresent},
                                 {"rebuilding", kMemberRebuilding},
                                 {"inserted", kMemberInserted},
                                 {"failed", kMemberFailed},
                                 {"absent", kMemberAbsent}};
constexpr Named kModeNames[] = {
    {"jbod", kArrayJbod}, {"striping", kArrayStriping}, {"mirroring", kArrayMirroring}, {"bypass", kArrayBypass}};

// A byte given by name or as a number.
template <std::size_t N>
bool ReadNamedByte(const json& value, const std::string& place, const Named (&names)[N], std::uint8_t& out,
                   std::string& error) {
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    for (const Named& named : names) {
      if (named.name == text) {
        out = named.value;
        return true;
      }
    }
  }
  std::uint64_t number = 0;
  std::string numberError;
  if (!ReadUnsigned(value, place, 0xFF, number, numberError)) {
    std::string expected = "expected a number or one of";
    for (std::size_t i = 0; i < N; ++i) expected += std::string(i ? ", " : " ") + std::string(names[i].name);
    return Fail(error, place, expected);
  }
  out = static_cast<std::uint8_t>(number);
  return true;
}

bool ReadMember(const json& value, const std::string& place, unsigned drive, unsigned hdd, MemberSpec& out,
                std::string& error) {
  auto keys = MemberDiskKeys();
  keys.push_back("state");
  if (!ExpectObject(value, place, keys, error)) return false;
  if (const auto state = value.find("state"); state != value.end()) {
    if (!ReadNamedByte(*state, Child(place, "state"), kStateNames, out.state, error)) return false;
  }
  out.disk.model = "RODE SIM DISK 1000";
  out.disk.serial = "SIM" + std::to_string(drive) + std::to_string(hdd) + "000" + std::to_string(4711 + hdd);
  out.disk.firmware = "SIM1.00";
  out.disk.capacity = kDefaultMemberCapacity;
  out.disk.smart = DefaultSmartAttributes(36);
  return ReadMemberDisk(value, place, out.disk, error);
}

bool ReadHdd(const json& value, const std::string& place, unsigned& hdd, std::string& error) {
  unsigned number = 0;
  if (value == "HDD1" || value == "hdd1" || value == 1) number = 1;
  if (value == "HDD2" || value == "hdd2" || value == 2) number = 2;
  if (number == 0) return Fail(error, place, "expected HDD1 or HDD2");
  hdd = number;
  return true;
}

bool ReadInquiry(const json& value, const std::string& place, InquirySpec& out, std::string& error) {
  return ExpectObject(value, place, {"vendor", "product", "revision"}, error) &&
         OptionalBytes(value, "vendor", place, kVendorLength, out.vendor, error) &&
         OptionalBytes(value, "product", place, kProductLength, out.product, error) &&
         OptionalBytes(value, "revision", place, kRevisionLength, out.revision, error);
}

bool ReadFirmware(const json& value, const std::string& place, FirmwareSpec& out, std::string& error) {
  if (!ExpectObject(value, place, {"version", "type", "productCode", "size"}, error) ||
      !OptionalUnsigned(value, "version", place, out.version, error) ||
      !OptionalUnsigned(value, "type", place, out.type, error) ||
      !OptionalUnsigned(value, "size", place, out.size, error, 8u * 1024u * 1024u))
    return false;
  if (out.size < kSmallestImage) return Fail(error, Child(place, "size"), "must be at least 256 bytes");
  if (value.contains("productCode")) {
    std::uint16_t code = 0;
    if (!OptionalUnsigned(value, "productCode", place, code, error)) return false;
    out.productCode =
        std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
  }
  return true;
}

bool ReadRebuild(const json& value, const std::string& place, RebuildSpec& out, std::string& error) {
  if (!ExpectObject(value, place, {"member", "position", "size", "speed"}, error)) return false;
  if (const auto member = value.find("member"); member != value.end()) {
    if (!ReadHdd(*member, Child(place, "member"), out.hdd, error)) return false;
  }
  return OptionalUnsigned(value, "position", place, out.position, error, kMax40Bits) &&
         OptionalUnsigned(value, "size", place, out.size, error, kMax48Bits) &&
         OptionalUnsigned(value, "speed", place, out.speed, error);
}

bool ReadEnclosure(const json& value, const std::string& place, DriveSpec& drive, std::string& error) {
  EnclosureSpec& out = drive.enclosure;
  if (const auto kind = value.find("controller"); kind != value.end()) {
    const std::string kindPlace = Child(place, "controller");
    if (*kind == "raid")
      out.kind = ControllerKind::Raid;
    else if (*kind == "port-multiplier")
      out.kind = ControllerKind::PortMultiplier;
    else
      return Fail(error, kindPlace, "expected raid or port-multiplier");
  }
  std::uint16_t productCode = static_cast<std::uint16_t>(out.productCode[0] << 8 | out.productCode[1]);
  if (!OptionalBytes(value, "productName", place, kProductNameLength, out.productName, error) ||
      !OptionalUnsigned(value, "productCode", place, productCode, error) ||
      !OptionalBool(value, "swapPorts", place, out.swapPorts, error) ||
      !OptionalBool(value, "sensors", place, out.sensors, error) ||
      !OptionalUnsigned(value, "fan", place, out.fan, error) ||
      !OptionalUnsigned(value, "temperature", place, out.temperature, error) ||
      !OptionalUnsigned(value, "rebuildSpeed", place, out.rebuildSpeed, error))
    return false;
  out.productCode = {static_cast<std::uint8_t>(productCode >> 8), static_cast<std::uint8_t>(productCode)};
  if (value.contains("capacity")) {
    std::uint64_t capacity = 0;
    if (!OptionalUnsigned(value, "capacity", place, capacity, error, kMax48Bits)) return false;
    out.capacity = capacity;
  }
  if (const auto mode = value.find("mode"); mode != value.end()) {
    if (!ReadNamedByte(*mode, Child(place, "mode"), kModeNames, out.mode, error)) return false;
  }
  for (std::size_t hdd = 0; hdd < 2; ++hdd) {  // defaults first, so a short list still gets two disks
    if (!ReadMember(json::object(), place, drive.number, static_cast<unsigned>(hdd + 1), out.members[hdd], error))
      return false;
  }
  if (const auto members = value.find("members"); members != value.end()) {
    const std::string membersPlace = Child(place, "members");
    if (!ExpectArray(*members, membersPlace, error)) return false;
    if (members->size() != 2) return Fail(error, membersPlace, "expected two members, HDD1 and HDD2");
    for (std::size_t hdd = 0; hdd < 2; ++hdd) {
      if (!ReadMember((*members)[hdd], Item(membersPlace, hdd), drive.number, static_cast<unsigned>(hdd + 1),
                      out.members[hdd], error))
        return false;
    }
  }
  if (const auto firmware = value.find("firmware"); firmware != value.end()) {
    if (!ReadFirmware(*firmware, Child(place, "firmware"), out.firmware, error)) return false;
  }
  if (const auto rebuild = value.find("rebuild"); rebuild != value.end()) {
    RebuildSpec spec;
    if (!ReadRebuild(*rebuild, Child(place, "rebuild"), spec, error)) return false;
    out.rebuild = spec;
    out.members[spec.hdd - 1].state = kMemberRebuilding;
  }
  return true;
}

bool ReadDrive(const json& value, const std::string& place, DriveSpec& out, std::string& error) {
  if (!value.is_object()) return Fail(error, place, "expected an object");
  if (!value.contains("number")) return Fail(error, Child(place, "number"), "missing");
  if (!OptionalUnsigned(value, "number", place, out.number, error, kMaxSimulatedDrives - 1)) return false;
  const auto type = value.find("type");
  if (type == value.end()) return Fail(error, Child(place, "type"), "missing");
  if (*type == "disk")
    out.type = DriveType::PlainDisk;
  else if (*type == "enclosure")
    out.type = DriveType::Enclosure;
  else
    return Fail(error, Child(place, "type"), "expected disk or enclosure");

  std::vector<std::string_view> keys{"number", "type", "plugged", "bus", "inquiry", "volumes"};
  if (out.type == DriveType::Enclosure) {
    keys.insert(keys.end(), {"controller", "productName", "productCode", "swapPorts", "capacity", "sensors", "fan",
                             "temperature", "mode", "members", "rebuild", "rebuildSpeed", "firmware"});
  }
  if (!ExpectObject(value, place, keys, error) || !OptionalBool(value, "plugged", place, out.plugged, error))
    return false;

  if (!OptionalText(value, "bus", place, 8, out.bus, error)) return false;
  if (std::find(std::begin(kSimulatedBuses), std::end(kSimulatedBuses), out.bus) == std::end(kSimulatedBuses))
    return Fail(error, Child(place, "bus"), "expected usb, sata, sas or nvme");
  out.inquiry = out.type == DriveType::Enclosure ? InquirySpec{"RODE", "RUR DUAL BAY", "0100"}
                                                 : InquirySpec{"ATA", "SIMULATED DISK", "1.00"};
  out.volumes = {KernelDiskName(out.number) + "1"};
  if (const auto inquiry = value.find("inquiry"); inquiry != value.end()) {
    if (!ReadInquiry(*inquiry, Child(place, "inquiry"), out.inquiry, error)) return false;
  }
  if (const auto volumes = value.find("volumes"); volumes != value.end()) {
    const std::string volumesPlace = Child(place, "volumes");
    if (!ExpectArray(*volumes, volumesPlace, error)) return false;
    out.volumes.clear();
    for (std::size_t i = 0; i < volumes->size(); ++i) {
      std::string name;
      if (!ReadText((*volumes)[i], Item(volumesPlace, i), 32, name, error)) return false;
      out.volumes.push_back(name);
    }
  }
  return out.type != DriveType::Enclosure || ReadEnclosure(value, place, out, error);
}

bool ReadStart(const json& value, const std::string& place, LocalDateTime& out, std::string& error) {
  const char* expected = "expected a date-time like 2026-03-14 09:30:00";
  if (!value.is_string()) return Fail(error, place, expected);
  const std::string text = value.get<std::string>();
  LocalDateTime time;
  char separator = 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &time.year, &time.month, &time.day, &separator,
                  &time.hour, &time.minute, &time.second, &consumed) != 7 ||
      static_cast<std::size_t>(consumed) != text.size() || (separator != ' ' && separator != 'T'))
    return Fail(error, place, expected);
  // A date that does not survive the round trip through the calendar (31 April, 25:00) is no date.
  if (time.month < 1 || time.month > 12 || time.hour > 23 || time.minute > 59 || time.second > 59 ||
      CivilFromSeconds(CivilSeconds(time)) != time)
    return Fail(error, place, "no such date-time");
  out = time;
  return true;
}

const DriveSpec* FindDrive(const Scenario& scenario, unsigned number) {
  for (const DriveSpec& drive : scenario.drives)
    if (drive.number == number) return &drive;
  return nullptr;
}

bool ReadDriveReference(const json& value, const std::string& place, const Scenario& scenario, bool enclosure,
                        unsigned& out, std::string& error) {
  if (!value.contains("drive")) return Fail(error, Child(place, "drive"), "missing");
  if (!OptionalUnsigned(value, "drive", place, out, error, kMaxSimulatedDrives - 1)) return false;
  const DriveSpec* drive = FindDrive(scenario, out);
  if (drive == nullptr) return Fail(error, Child(place, "drive"), "no drive " + std::to_string(out) + " in drives");
  if (enclosure && drive->type != DriveType::Enclosure)
    return Fail(error, Child(place, "drive"), "drive " + std::to_string(out) + " is a plain disk, not an enclosure");
  return true;
}

struct EventName {
  std::string_view name;
  EventKind kind;
  bool member;
};
constexpr EventName kEventNames[] = {
    {"member-removed", EventKind::MemberRemoved, true}, {"member-inserted", EventKind::MemberInserted, true},
    {"member-failed", EventKind::MemberFailed, true},   {"rebuild-started", EventKind::RebuildStarted, true},
    {"unplugged", EventKind::Unplugged, false},         {"plugged", EventKind::Plugged, false},
    {"environment", EventKind::Environment, false},     {"smart", EventKind::SmartChanged, true}};

bool ReadEvent(const json& value, const std::string& place, const Scenario& scenario, TimelineEvent& out,
               std::string& error) {
  if (!ExpectObject(value, place,
                    {"at", "drive", "event", "member", "disk", "speed", "fan", "temperature", "attribute"}, error))
    return false;
  if (!value.contains("at")) return Fail(error, Child(place, "at"), "missing");
  if (!ReadSeconds(value["at"], Child(place, "at"), out.atMs, error)) return false;
  const auto event = value.find("event");
  if (event == value.end()) return Fail(error, Child(place, "event"), "missing");
  const EventName* name = nullptr;
  for (const EventName& candidate : kEventNames)
    if (*event == candidate.name) name = &candidate;
  if (name == nullptr)
    return Fail(error, Child(place, "event"),
                "expected member-removed, member-inserted, member-failed, rebuild-started, unplugged, plugged, "
                "environment or smart");
  out.kind = name->kind;
  const bool needsEnclosure = name->member || name->kind == EventKind::Environment;
  if (!ReadDriveReference(value, place, scenario, needsEnclosure, out.drive, error)) return false;
  if (name->member) {
    if (!value.contains("member")) return Fail(error, Child(place, "member"), "missing");
    if (!ReadHdd(value["member"], Child(place, "member"), out.hdd, error)) return false;
  }
  if (const auto disk = value.find("disk"); disk != value.end()) {
    if (out.kind != EventKind::MemberInserted) return Fail(error, Child(place, "disk"), "only for member-inserted");
    const std::string diskPlace = Child(place, "disk");
    MemberDisk inserted = FindDrive(scenario, out.drive)->enclosure.members[out.hdd - 1].disk;
    if (!ExpectObject(*disk, diskPlace, MemberDiskKeys(), error) || !ReadMemberDisk(*disk, diskPlace, inserted, error))
      return false;
    out.disk = inserted;
  }
  if (const auto attribute = value.find("attribute"); attribute != value.end()) {
    if (out.kind != EventKind::SmartChanged) return Fail(error, Child(place, "attribute"), "only for smart");
    SmartAttribute changed;
    if (!ReadAttribute(*attribute, Child(place, "attribute"), changed, error)) return false;
    if (changed.id == 0) return Fail(error, Child(Child(place, "attribute"), "id"), "must name an attribute (1..255)");
    out.attribute = changed;
  } else if (out.kind == EventKind::SmartChanged) {
    return Fail(error, Child(place, "attribute"), "missing");
  }
  if (value.contains("speed")) {
    if (out.kind != EventKind::RebuildStarted) return Fail(error, Child(place, "speed"), "only for rebuild-started");
    std::uint64_t speed = 0;
    if (!OptionalUnsigned(value, "speed", place, speed, error)) return false;
    out.speed = speed;
  }
  for (const char* key : {"fan", "temperature"}) {
    if (value.contains(key) && out.kind != EventKind::Environment)
      return Fail(error, Child(place, key), "only for environment");
  }
  if (out.kind == EventKind::Environment) {
    if (!value.contains("fan") && !value.contains("temperature"))
      return Fail(error, place, "environment needs fan or temperature");
    std::uint16_t fan = 0;
    std::uint8_t temperature = 0;
    if (value.contains("fan")) {
      if (!OptionalUnsigned(value, "fan", place, fan, error)) return false;
      out.fan = fan;
    }
    if (value.contains("temperature")) {
      if (!OptionalUnsigned(value, "temperature", place, temperature, error)) return false;
      out.temperature = temperature;
    }
  }
  return true;
}

struct FaultName {
  std::string_view name;
  FaultKind kind;
  std::uint8_t status;
};
constexpr FaultName kFaultNames[] = {{"fail", FaultKind::Status, 0xC0},
                                     {"status", FaultKind::Status, 0x33},
                                     {"late", FaultKind::LateAnswer, 0},
                                     {"wrong-signature", FaultKind::WrongSignature, 0},
                                     {"mixed-signature", FaultKind::MixedSignature, 0},
                                     {"spi-wont-program", FaultKind::SpiWontProgram, 0xC0},
                                     {"transport", FaultKind::TransportFailure, 0}};

struct CommandName {
  std::string_view name;
  FaultCommand command;
};
constexpr CommandName kCommandNames[] = {{"any", FaultCommand::Any},
                                         {"query", FaultCommand::Query},
                                         {"spi-read", FaultCommand::SpiRead},
                                         {"spi-erase", FaultCommand::SpiErase},
                                         {"spi-write", FaultCommand::SpiWrite},
                                         {"ata-issue", FaultCommand::AtaIssue},
                                         {"ata-fetch", FaultCommand::AtaFetch}};

bool ReadFault(const json& value, const std::string& place, const Scenario& scenario, Fault& out, std::string& error) {
  if (!ExpectObject(value, place,
                    {"drive", "kind", "command", "code", "address", "port", "chunk", "lba", "status", "acknowledge",
                     "polls", "times", "from", "until"},
                    error) ||
      !ReadDriveReference(value, place, scenario, true, out.drive, error))
    return false;
  const auto kind = value.find("kind");
  if (kind == value.end()) return Fail(error, Child(place, "kind"), "missing");
  const FaultName* name = nullptr;
  for (const FaultName& candidate : kFaultNames)
    if (*kind == candidate.name) name = &candidate;
  if (name == nullptr)
    return Fail(error, Child(place, "kind"),
                "expected fail, status, late, wrong-signature, mixed-signature, spi-wont-program or transport");
  out.kind = name->kind;
  out.status = name->status;
  if (out.kind == FaultKind::SpiWontProgram) out.command = FaultCommand::SpiWrite;

  if (const auto command = value.find("command"); command != value.end()) {
    const CommandName* found = nullptr;
    for (const CommandName& candidate : kCommandNames)
      if (*command == candidate.name) found = &candidate;
    if (found == nullptr)
      return Fail(error, Child(place, "command"),
                  "expected any, query, spi-read, spi-erase, spi-write, ata-issue or ata-fetch");
    if (out.kind == FaultKind::TransportFailure)
      return Fail(error, Child(place, "command"), "transport faults strike reads, choose them with lba");
    if (out.kind == FaultKind::SpiWontProgram && found->command != FaultCommand::SpiWrite)
      return Fail(error, Child(place, "command"), "spi-wont-program strikes spi-write only");
    out.command = found->command;
  }
  std::uint8_t code = 0, port = 0, chunk = 0;
  std::uint32_t address = 0, lba = 0;
  if (value.contains("code")) {
    if (!OptionalUnsigned(value, "code", place, code, error)) return false;
    out.code = code;
  }
  if (value.contains("address")) {
    if (!OptionalUnsigned(value, "address", place, address, error, 8u * 1024u * 1024u - 1)) return false;
    out.address = address;
  }
  if (value.contains("port")) {
    if (!OptionalUnsigned(value, "port", place, port, error, 1)) return false;
    out.port = port;
  }
  if (value.contains("chunk")) {
    if (!OptionalUnsigned(value, "chunk", place, chunk, error, 4)) return false;
    out.chunk = chunk;
  }
  if (value.contains("lba")) {
    if (out.kind != FaultKind::TransportFailure) return Fail(error, Child(place, "lba"), "only for transport faults");
    if (!OptionalUnsigned(value, "lba", place, lba, error)) return false;
    out.lba = lba;
  }
  if (!OptionalUnsigned(value, "status", place, out.status, error) ||
      !OptionalBool(value, "acknowledge", place, out.acknowledge, error) ||
      !OptionalUnsigned(value, "polls", place, out.polls, error, 100000) ||
      !OptionalUnsigned(value, "times", place, out.times, error, 1000000))
    return false;
  if (value.contains("from") && !ReadSeconds(value["from"], Child(place, "from"), out.fromMs, error)) return false;
  if (value.contains("until")) {
    std::uint64_t until = 0;
    if (!ReadSeconds(value["until"], Child(place, "until"), until, error)) return false;
    if (until <= out.fromMs) return Fail(error, Child(place, "until"), "must come after from");
    out.untilMs = until;
  }
  if (out.kind == FaultKind::LateAnswer && !value.contains("polls"))
    return Fail(error, Child(place, "polls"), "missing: after how many polls the answer shows");
  return true;
}

bool ReadScenario(const json& root, Scenario& out, std::string& error) {
  if (!ExpectObject(root, "", {"name", "description", "start", "drives", "timeline", "faults", "requestCost"}, error) ||
      !OptionalText(root, "name", "", 64, out.name, error) ||
      !OptionalUnsigned(root, "requestCost", "", out.requestCostUs, error, 1000000))
    return false;
  if (const auto description = root.find("description"); description != root.end()) {
    if (!description->is_string()) return Fail(error, "description", "expected a text");
    out.description = description->get<std::string>();
  }
  if (const auto start = root.find("start"); start != root.end()) {
    LocalDateTime time;
    if (!ReadStart(*start, "start", time, error)) return false;
    out.start = time;
  }
  const auto drives = root.find("drives");
  if (drives == root.end()) return Fail(error, "drives", "missing");
  if (!ExpectArray(*drives, "drives", error)) return false;
  if (drives->empty()) return Fail(error, "drives", "a scenario needs at least one drive");
  for (std::size_t i = 0; i < drives->size(); ++i) {
    DriveSpec drive;
    const std::string place = Item("drives", i);
    if (!ReadDrive((*drives)[i], place, drive, error)) return false;
    if (FindDrive(out, drive.number) != nullptr)
      return Fail(error, Child(place, "number"), "drive " + std::to_string(drive.number) + " is listed twice");
    out.drives.push_back(drive);
  }
  if (const auto timeline = root.find("timeline"); timeline != root.end()) {
    if (!ExpectArray(*timeline, "timeline", error)) return false;
    for (std::size_t i = 0; i < timeline->size(); ++i) {
      TimelineEvent event;
      if (!ReadEvent((*timeline)[i], Item("timeline", i), out, event, error)) return false;
      out.timeline.push_back(event);
    }
    std::stable_sort(out.timeline.begin(), out.timeline.end(),
                     [](const TimelineEvent& a, const TimelineEvent& b) { return a.atMs < b.atMs; });
  }
  if (const auto faults = root.find("faults"); faults != root.end()) {
    if (!ExpectArray(*faults, "faults", error)) return false;
    for (std::size_t i = 0; i < faults->size(); ++i) {
      Fault fault;
      if (!ReadFault((*faults)[i], Item("faults", i), out, fault, error)) return false;
      out.faults.push_back(fault);
    }
  }
  return true;
}

// Line and column of a byte offset, for syntax errors.
std::string TextPosition(const std::string& text, std::size_t offset) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i + 1 < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

std::vector<SmartAttribute> DefaultSmartAttributes(std::uint8_t temperature) {
  return {
      {0x01, 0x002F, 200, 200, 51, 0},
      {0x03, 0x0027, 175, 172, 21, 4208},
      {0x04, 0x0032, 100, 100, 0, 1127},
      {0x05, 0x0033, 200, 200, 140, 0},
      {0x07, 0x002E, 200, 200, 0, 0},
      {0x09, 0x0032, 85, 85, 0, 11234},
      {0x0A, 0x0032, 100, 100, 0, 0},
      {0x0B, 0x0032, 100, 100, 0, 0},
      {0x0C, 0x0032, 100, 100, 0, 1098},
      {0xC0, 0x0032, 200, 200, 0, 77},
      {0xC1, 0x0032, 195, 195, 0, 16384},
      {0xC2, 0x0022, static_cast<std::uint8_t>(150 - temperature), static_cast<std::uint8_t>(140 - temperature), 0,
       temperature},
      {0xC4, 0x0032, 200, 200, 0, 0},
      {0xC5, 0x0032, 200, 200, 0, 0},
      {0xC6, 0x0030, 200, 200, 0, 0},
      {0xC7, 0x0032, 200, 200, 0, 0},
      {0xC8, 0x0008, 200, 200, 0, 0},
  };
}

std::uint64_t DefaultArrayCapacity(std::uint8_t mode, std::uint64_t hdd1, std::uint64_t hdd2) {
  switch (mode) {
    case kArrayJbod: return hdd1 + hdd2;
    case kArrayStriping: return 2 * std::min(hdd1, hdd2);
    case kArrayMirroring: return std::min(hdd1, hdd2);
    default: return hdd1;  // bypass shows the first disk alone
  }
}

bool ParseScenario(const std::string& jsonText, Scenario& out, std::string& error) {
  json root;
  try {
    root = json::parse(jsonText, nullptr, true, /*ignore_comments=*/true);
  } catch (const json::parse_error& e) {
    error = TextPosition(jsonText, e.byte) + ": not valid JSON";
    return false;
  } catch (const json::exception& e) {  // well-formed, but e.g. a number too large for any type
    error = std::string("not valid JSON: ") + e.what();
    return false;
  }
  Scenario scenario;
  try {
    if (!ReadScenario(root, scenario, error)) return false;
  } catch (const std::exception& e) {  // a type the readers did not foresee
    error = std::string("unexpected content: ") + e.what();
    return false;
  }
  out = std::move(scenario);
  return true;
}

bool LoadScenarioFile(const std::string& path, Scenario& out, std::string& error) {
  const std::string fileName = std::filesystem::path(path).filename().string();
  // Far above any scenario a person writes; a device or a pipe is never read.
  constexpr std::uint64_t kLargestScenario = 16u << 20;
  std::error_code missing;
  std::string unreadable;
  if (std::filesystem::exists(path, missing) && !CheckInputFile(path, kLargestScenario, unreadable)) {
    error = "scenario " + path + " " + unreadable;
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "scenario " + path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  std::string problem;
  if (!ParseScenario(text.str(), out, problem)) {
    error = "scenario " + fileName + ": " + problem;
    return false;
  }
  if (out.name.empty()) out.name = std::filesystem::path(path).stem().string();
  return true;
}

std::string BundledScenarioPath(const std::string& name) {
  const std::string file = name + ".json";
  const std::vector<std::string> folders = SharedDataFolders(ExecutableDirectory());
  for (const std::string& folder : folders) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / "scenarios" / file;
    std::error_code code;
    if (std::filesystem::is_regular_file(candidate, code)) return candidate.string();
  }
  return (std::filesystem::path(folders.back()) / "scenarios" / file).string();
}

bool ResolveScenarioArgument(const std::string& value, std::string& path, std::string& error) {
  if (value.empty()) {
    path = BundledScenarioPath(kDefaultScenarioName);
    return true;
  }
  const std::filesystem::path given(value);
  if (given.has_parent_path() || given.extension() == ".json") {
    path = value;
    return true;
  }
  // A bare name is a bundled scenario's, never a file of the current folder.
  path = BundledScenarioPath(value);
  std::error_code code;
  if (std::filesystem::is_regular_file(path, code)) return true;
  error = "no bundled scenario is called " + value + " (a scenario file is given by its path, e.g. ./" + value + ")";
  return false;
}

}  // namespace rur::sim
