// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scenario: the simulated drives (plain disks and enclosures), an optional start for the virtual
// clock, a timeline of things that happen to them, and faults their controllers suffer. Scenarios
// are JSON files (docs/scenarios.md); loading one either yields a complete Scenario or one error
// that names the place in the file.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "transport/response_sector.h"

namespace rur::sim {

// Raw member state codes as the controller reports them.
constexpr std::uint8_t kMemberPresent = 0x00;
constexpr std::uint8_t kMemberRebuilding = 0x01;
constexpr std::uint8_t kMemberInserted = 0x06;
constexpr std::uint8_t kMemberFailed = 0x09;
constexpr std::uint8_t kMemberAbsent = 0x05;

// Array mode as the members answer carries it.
constexpr std::uint8_t kArrayJbod = 0;
constexpr std::uint8_t kArrayStriping = 1;
constexpr std::uint8_t kArrayMirroring = 2;
constexpr std::uint8_t kArrayBypass = 3;

constexpr unsigned kMaxSimulatedDrives = 64;     // drive numbers 0..63
constexpr std::size_t kMaxSmartAttributes = 30;  // entries of a SMART page

struct SmartAttribute {
  std::uint8_t id = 0;
  std::uint16_t flags = 0x000F;
  std::uint8_t value = 100;
  std::uint8_t worst = 100;
  std::uint8_t threshold = 0;
  std::uint64_t raw = 0;  // 48 bits
};

// A disk in one of the two bays.
struct MemberDisk {
  std::string model;
  std::string serial;
  std::string firmware;
  std::uint64_t capacity = 0;  // sectors
  std::vector<SmartAttribute> smart;
};

struct MemberSpec {
  std::uint8_t state = kMemberPresent;
  MemberDisk disk;
};

struct FirmwareSpec {
  std::uint32_t version = 0x14031510;
  std::uint8_t type = 0x01;                                // the flash type byte of the image
  std::optional<std::array<std::uint8_t, 2>> productCode;  // default: the controller's
  std::uint32_t size = 65536;
};

struct InquirySpec {
  std::string vendor;
  std::string product;
  std::string revision;
};

struct RebuildSpec {
  unsigned hdd = 2;            // the member being rebuilt, 1 or 2
  std::uint64_t position = 0;  // sectors done
  std::uint64_t size = 0;      // 0: the array's size
  std::uint64_t speed = 0;     // 0: the enclosure's rebuild speed
};

struct EnclosureSpec {
  ControllerKind kind = ControllerKind::Raid;
  std::string productName;  // empty: the controller supplies none
  std::array<std::uint8_t, 2> productCode{0x27, 0x60};
  bool swapPorts = false;                 // false: HDD1 is on port 0 (member block A)
  std::optional<std::uint64_t> capacity;  // default: from mode and members
  bool sensors = true;
  std::uint16_t fan = 2600;  // RPM
  std::uint8_t temperature = 38;
  std::uint8_t mode = kArrayMirroring;
  std::array<MemberSpec, 2> members;  // HDD1, HDD2
  std::optional<RebuildSpec> rebuild;
  std::uint64_t rebuildSpeed = 1000000;  // sectors per second of clock time
  FirmwareSpec firmware;
};

enum class DriveType { PlainDisk, Enclosure };

// The buses a simulated drive may sit on: an enclosure is a USB disk, a system disk is not.
constexpr const char* kSimulatedBuses[] = {"usb", "sata", "sas", "nvme"};

struct DriveSpec {
  unsigned number = 0;
  DriveType type = DriveType::PlainDisk;
  bool plugged = true;
  std::string bus = "usb";
  InquirySpec inquiry;
  std::vector<std::string> volumes;
  EnclosureSpec enclosure;  // enclosures only
};

enum class EventKind {
  MemberRemoved,
  MemberInserted,
  MemberFailed,
  RebuildStarted,
  Unplugged,
  Plugged,
  Environment,
  SmartChanged  // one SMART attribute of the disk in a bay
};

struct TimelineEvent {
  std::uint64_t atMs = 0;  // program time
  unsigned drive = 0;
  EventKind kind = EventKind::Unplugged;
  unsigned hdd = 0;                    // member events: 1 or 2
  std::optional<MemberDisk> disk;      // inserted: a different disk than before
  std::optional<std::uint64_t> speed;  // rebuild started
  std::optional<std::uint16_t> fan;    // environment
  std::optional<std::uint8_t> temperature;
  std::optional<SmartAttribute> attribute;  // smart: replaces the entry with its id, or is added
};

// The command a fault lies in wait for.
enum class FaultCommand { Any, Query, SpiRead, SpiErase, SpiWrite, AtaIssue, AtaFetch };

enum class FaultKind {
  Status,           // the answer carries this status byte instead (0xC0 a failure, 0x33 an unknown value)
  LateAnswer,       // the answer shows only after this many polls of LBA 17
  WrongSignature,   // the first signature is garbled
  MixedSignature,   // the second signature belongs to the other controller kind
  SpiWontProgram,   // a flash block keeps its contents when written
  TransportFailure  // reads fail at the transport: the request is not completed
};

struct Fault {
  unsigned drive = 0;
  FaultKind kind = FaultKind::Status;
  FaultCommand command = FaultCommand::Any;
  std::optional<std::uint8_t> code;      // query code, or ATA code of ATA commands
  std::optional<std::uint32_t> address;  // SPI byte address (its 128-byte block)
  std::optional<std::uint8_t> port;      // ATA member port
  std::optional<std::uint8_t> chunk;     // ATA fetch chunk
  std::optional<std::uint32_t> lba;      // transport failures: only reads of this LBA
  std::uint8_t status = 0xC0;            // Status, and SpiWontProgram when it reports a failure
  bool acknowledge = true;               // SpiWontProgram: answer 0x20 although nothing was written
  unsigned polls = 0;                    // LateAnswer
  unsigned times = 0;                    // how often it strikes; 0 = every time
  std::uint64_t fromMs = 0;              // active from this program time...
  std::optional<std::uint64_t> untilMs;  // ...until this one
  unsigned struck = 0;                   // how often it has struck so far
};

struct Scenario {
  std::string name;
  std::string description;
  std::optional<LocalDateTime> start;
  std::vector<DriveSpec> drives;
  std::vector<TimelineEvent> timeline;  // in time order
  std::vector<Fault> faults;
  // Real time every request to a simulated drive takes on the real clock, as a USB bridge's
  // round trip would; the virtual clock ignores it.
  std::uint32_t requestCostUs = 0;
};

bool ParseScenario(const std::string& jsonText, Scenario& out, std::string& error);
// Errors read "scenario <file name>: <place>: <problem>".
bool LoadScenarioFile(const std::string& path, Scenario& out, std::string& error);
constexpr const char* kDefaultScenarioName = "demo";
// "demo" -> <shared data folder>/scenarios/demo.json, the first of the shared data folders that
// holds it (beside an installed binary, the build tree, the installed data folder).
std::string BundledScenarioPath(const std::string& name);
// The scenario file --simulate[=VALUE] stands for: empty, the demo; a path (with a folder, or a
// name ending in .json) as it is; a bare name, the bundled scenario of that name. False with a
// message for a bare name that no bundled scenario has.
bool ResolveScenarioArgument(const std::string& value, std::string& path, std::string& error);

// The SMART attributes of a healthy disk, the default of every member.
std::vector<SmartAttribute> DefaultSmartAttributes(std::uint8_t temperature);
// The array's capacity as the controller reports it when the scenario does not say.
std::uint64_t DefaultArrayCapacity(std::uint8_t mode, std::uint64_t hdd1, std::uint64_t hdd2);

}  // namespace rur::sim
