// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/service_client.h"

#if RUR_SERVICE_CLIENT
#include <poll.h>

#include <chrono>
#include <map>
#include <optional>
#include <utility>

#include <sdbus-c++/sdbus-c++.h>

#include "cli/service_job.h"
#include "platform/service_bus_names.h"
#endif

namespace rur::cli {

#if RUR_SERVICE_CLIENT
namespace {

using bus::kBusName;
using bus::kEnclosureInterface;
using bus::kJobInterface;
using bus::kManagerInterface;
using bus::kManagerPath;
constexpr const char* kObjectManagerInterface = "org.freedesktop.DBus.ObjectManager";
const std::string kNotAuthorizedError = std::string(bus::kErrorPrefix) + "NotAuthorized";
// The longest a backup is waited for without its progress moving: far beyond one block's read.
constexpr std::chrono::minutes kJobSilenceLimit{10};
constexpr int kPollSliceMs = 200;

using Properties = std::map<std::string, sdbus::Variant>;

// A property of the service's answer, or the type's empty value when the service leaves it out.
template <typename T>
T Read(const Properties& properties, const char* name) {
  const auto found = properties.find(name);
  return found == properties.end() ? T{} : found->second.get<T>();
}

UpgradeCondition ConditionNamed(const std::string& name) {
  for (const UpgradeCondition condition :
       {UpgradeCondition::None, UpgradeCondition::Running, UpgradeCondition::Unfinished})
    if (name == UpgradeConditionName(condition)) return condition;
  return UpgradeCondition::None;
}

MemberReport MemberOf(const Properties& member) {
  MemberReport report;
  report.bay = Read<uint32_t>(member, "bay");
  report.stateCode = Read<uint8_t>(member, "state_code");
  report.state = Read<std::string>(member, "state");
  report.model = Read<std::string>(member, "model");
  report.serial = Read<std::string>(member, "serial");
  report.capacitySectors = Read<uint64_t>(member, "capacity_sectors");
  report.capacityText = Read<std::string>(member, "capacity_text");
  return report;
}

DeviceStatus DeviceOf(const Properties& properties) {
  DeviceStatus device;
  device.device = Read<uint32_t>(properties, "Device");
  device.drive = Read<uint32_t>(properties, "Drive");
  device.path = Read<std::string>(properties, "Path");
  device.byId = Read<std::string>(properties, "ById");
  device.controllerKind = Read<int32_t>(properties, "ControllerKind");
  device.product = Read<std::string>(properties, "Product");
  device.nameText = Read<std::string>(properties, "NameText");
  device.firmware = Read<std::string>(properties, "Firmware");
  device.firmwareValid = Read<bool>(properties, "FirmwareValid");
  device.upgrade.condition = ConditionNamed(Read<std::string>(properties, "Upgrade"));
  device.upgrade.holder = Read<std::string>(properties, "UpgradeHolder");
  const std::string step = Read<std::string>(properties, "UpgradeStep");
  device.upgrade.step = step == "verify"    ? UpgradeStep::Verify
                        : step == "program" ? UpgradeStep::Program
                                            : UpgradeStep::Erase;
  device.mode = Read<uint8_t>(properties, "ModeCode");
  device.modeText = Read<std::string>(properties, "Mode");
  device.redundancyNote = Read<std::string>(properties, "RedundancyNote");
  device.capacitySectors = Read<uint64_t>(properties, "CapacitySectors");
  device.capacityText = Read<std::string>(properties, "CapacityText");
  device.driveFlags = Read<uint8_t>(properties, "DriveFlags");
  device.activityFlags = Read<uint8_t>(properties, "ActivityFlags");
  device.progress = Read<uint8_t>(properties, "Progress");
  device.arrayState = Read<std::string>(properties, "ArrayState");
  device.fanRpm = Read<uint32_t>(properties, "Fan");
  device.temperature = Read<uint32_t>(properties, "Temperature");
  device.sensorShown = Read<bool>(properties, "SensorShown");
  device.current = Read<bool>(properties, "Current");
  device.error = Read<std::string>(properties, "Error");
  const std::string health = Read<std::string>(properties, "Health");
  device.health.failed = health == "failed";
  device.health.degraded = health == "degraded";
  const auto members = Read<std::vector<Properties>>(properties, "Members");
  for (std::size_t bay = 0; bay < members.size() && bay < std::size(device.members); ++bay)
    device.members[bay] = MemberOf(members[bay]);
  return device;
}

// Waits for the job at `job` to complete: whether it succeeded, and the service's message.
std::pair<bool, std::string> AwaitJob(sdbus::IConnection& connection, const std::string& job,
                                      std::optional<std::pair<bool, std::string>>& completed) {
  auto proxy = sdbus::createProxy(connection, kBusName, job);
  uint32_t percent = 0;
  auto lastNews = std::chrono::steady_clock::now();
  while (!completed) {
    const auto data = connection.getEventLoopPollData();
    pollfd descriptor{data.fd, data.events, 0};
    ::poll(&descriptor, 1, kPollSliceMs);
    while (connection.processPendingRequest()) {
    }
    if (completed) break;
    // The job may have ended before the signal was matched: its step tells.
    const std::string step = proxy->getProperty("Step").onInterface(kJobInterface).get<std::string>();
    const uint32_t now = proxy->getProperty("Percent").onInterface(kJobInterface).get<uint32_t>();
    if (step == "done" || step == "failed") {
      const std::string message = proxy->getProperty("Message").onInterface(kJobInterface).get<std::string>();
      completed = std::pair<bool, std::string>(
          step == "done", step == "done" || !message.empty() ? message : "the flash could not be read");
      break;
    }
    if (now != percent) lastNews = std::chrono::steady_clock::now();
    percent = now;
    if (std::chrono::steady_clock::now() - lastNews > kJobSilenceLimit)
      return {false, "the service has not reported on the backup for 10 minutes; see journalctl -u rode-rur.service"};
  }
  return *completed;
}

}  // namespace

bool ServiceRuns() {
  try {
    auto connection = sdbus::createSystemBusConnection();
    auto bus = sdbus::createProxy(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
    bool owned = false;
    bus->callMethod("NameHasOwner")
        .onInterface("org.freedesktop.DBus")
        .withArguments(std::string(kBusName))
        .storeResultsTo(owned);
    return owned;
  } catch (const sdbus::Error&) {
    // No system bus (a container, a build machine): nobody serves the host.
    return false;
  }
}

bool FetchServiceStatus(std::vector<DeviceStatus>& devices, std::string& error) {
  try {
    auto connection = sdbus::createSystemBusConnection();
    auto manager = sdbus::createProxy(*connection, kBusName, kManagerPath);
    std::vector<sdbus::ObjectPath> paths;
    manager->callMethod("GetEnclosures").onInterface(kManagerInterface).storeResultsTo(paths);
    // Every enclosure's properties in one answer, rather than a round trip each.
    std::map<sdbus::ObjectPath, std::map<std::string, Properties>> objects;
    manager->callMethod("GetManagedObjects").onInterface(kObjectManagerInterface).storeResultsTo(objects);
    devices.clear();
    for (const auto& path : paths) {
      const auto object = objects.find(path);
      if (object == objects.end()) continue;  // gone between the two answers
      const auto properties = object->second.find(kEnclosureInterface);
      if (properties != object->second.end()) devices.push_back(DeviceOf(properties->second));
    }
    return true;
  } catch (const sdbus::Error& failure) {
    error = "cannot ask the service rode-rurd: " + failure.getMessage();
    return false;
  }
}

ServiceAnswer BackupFirmwareThroughService(unsigned device, int fd, std::uint32_t length, unsigned& drive,
                                           std::string& error) {
  try {
    auto connection = sdbus::createSystemBusConnection();
    auto manager = sdbus::createProxy(*connection, kBusName, kManagerPath);
    std::vector<sdbus::ObjectPath> paths;
    manager->callMethod("GetEnclosures").onInterface(kManagerInterface).storeResultsTo(paths);
    if (device < 1 || device > paths.size()) {
      error = "No Drive found at Device" + std::to_string(device);
      return ServiceAnswer::Failed;
    }
    auto enclosure = sdbus::createProxy(*connection, kBusName, paths[device - 1]);
    drive = enclosure->getProperty("Drive").onInterface(kEnclosureInterface).get<uint32_t>();
    JobCompletion end(*connection);
    enclosure->callMethod("BackupFirmware")
        .onInterface(kEnclosureInterface)
        .withArguments(sdbus::UnixFd(fd), length)
        .storeResultsTo(end.job);
    const auto [ok, message] = AwaitJob(*connection, end.job, end.completed);
    if (ok) return ServiceAnswer::Done;
    error = message;
    return ServiceAnswer::Failed;
  } catch (const sdbus::Error& failure) {
    error = failure.getMessage();
    if (failure.getName() == kNotAuthorizedError) return ServiceAnswer::NotAuthorized;
    if (failure.getName() == "org.freedesktop.DBus.Error.UnknownObject")
      error = "No Drive found at Device" + std::to_string(device);
    return ServiceAnswer::Failed;
  }
}

#else

bool ServiceRuns() { return false; }

ServiceAnswer BackupFirmwareThroughService(unsigned, int, std::uint32_t, unsigned&, std::string& error) {
  error = "this rurctl was built without the system bus";
  return ServiceAnswer::Failed;
}

bool FetchServiceStatus(std::vector<DeviceStatus>&, std::string& error) {
  error = "this rurctl was built without the system bus";
  return false;
}

#endif

}  // namespace rur::cli
