// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and loading what a simulated enclosure keeps across power cycles of the program: its
// flash, its members and their disks, the rebuild, fan and temperature. The scenario stays the
// description of the hardware; this state is what happened to it since.

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "emulator/scenario_json.h"
#include "emulator/simulated_host.h"

namespace rur::sim {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr const char* kStateFile = "state.json";
constexpr int kStateFormat = 1;

std::string FlashFileName(unsigned drive) { return "drive" + std::to_string(drive) + ".flash"; }

// Written beside the target and renamed over it, so an interrupted save never leaves half a file.
bool WriteFileAtomically(const fs::path& path, const char* data, std::size_t size, std::string& error) {
  const fs::path temporary = path.string() + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file.write(data, static_cast<std::streamsize>(size)) || !file.flush()) {
      error = "cannot write " + temporary.string();
      return false;
    }
  }
  std::error_code code;
  fs::rename(temporary, path, code);
  if (code) {
    error = "cannot replace " + path.string() + ": " + code.message();
    return false;
  }
  return true;
}

// Only the used part of the flash: the rest reads as erased when it is loaded again.
bool SaveFlash(const SpiFlash& flash, const fs::path& path, std::string& error) {
  std::vector<std::uint8_t> used(flash.usedLength());
  flash.Read(0, used.data(), used.size());
  return WriteFileAtomically(path, reinterpret_cast<const char*>(used.data()), used.size(), error);
}

json ControllerToJson(SimulatedController& controller) {
  json members = json::array();
  for (unsigned port = 0; port < 2; ++port) {
    const MemberSpec& member = controller.member(port);
    members.push_back({{"state", member.state}, {"disk", json_read::MemberDiskToJson(member.disk)}});
  }
  const RebuildState rebuild = controller.rebuild();
  return {{"mode", controller.arrayMode()},
          {"fan", controller.fan()},
          {"temperature", controller.temperature()},
          {"members", members},
          {"rebuild",
           {{"running", rebuild.running},
            {"port", rebuild.port},
            {"size", rebuild.size},
            {"position", rebuild.position},
            {"speed", rebuild.speed}}}};
}

bool ControllerFromJson(const json& value, const std::string& place, SimulatedController& controller,
                        std::string& error) {
  using namespace json_read;
  std::uint8_t mode = controller.arrayMode(), temperature = controller.temperature();
  std::uint16_t fan = controller.fan();
  if (!ExpectObject(value, place, {"mode", "fan", "temperature", "members", "rebuild"}, error) ||
      !OptionalUnsigned(value, "mode", place, mode, error) || !OptionalUnsigned(value, "fan", place, fan, error) ||
      !OptionalUnsigned(value, "temperature", place, temperature, error))
    return false;
  std::array<MemberSpec, 2> members{controller.member(0), controller.member(1)};
  if (const auto list = value.find("members"); list != value.end()) {
    const std::string listPlace = Child(place, "members");
    if (!ExpectArray(*list, listPlace, error)) return false;
    if (list->size() != 2) return Fail(error, listPlace, "expected two members");
    for (unsigned port = 0; port < 2; ++port) {
      const json& entry = (*list)[port];
      const std::string entryPlace = Item(listPlace, port);
      if (!ExpectObject(entry, entryPlace, {"state", "disk"}, error) ||
          !OptionalUnsigned(entry, "state", entryPlace, members[port].state, error))
        return false;
      if (const auto disk = entry.find("disk"); disk != entry.end()) {
        if (!ExpectObject(*disk, Child(entryPlace, "disk"), MemberDiskKeys(), error) ||
            !ReadMemberDisk(*disk, Child(entryPlace, "disk"), members[port].disk, error))
          return false;
      }
    }
  }
  RebuildState rebuild;
  if (const auto saved = value.find("rebuild"); saved != value.end()) {
    const std::string rebuildPlace = Child(place, "rebuild");
    if (!ExpectObject(*saved, rebuildPlace, {"running", "port", "size", "position", "speed"}, error) ||
        !OptionalBool(*saved, "running", rebuildPlace, rebuild.running, error) ||
        !OptionalUnsigned(*saved, "port", rebuildPlace, rebuild.port, error, 1) ||
        !OptionalUnsigned(*saved, "size", rebuildPlace, rebuild.size, error) ||
        !OptionalUnsigned(*saved, "position", rebuildPlace, rebuild.position, error) ||
        !OptionalUnsigned(*saved, "speed", rebuildPlace, rebuild.speed, error))
      return false;
  }
  // Everything read: only now change the controller, so a bad file leaves it as it was.
  controller.setArrayMode(mode);
  controller.setFan(fan);
  controller.setTemperature(temperature);
  controller.stopRebuild();
  for (unsigned port = 0; port < 2; ++port) {
    controller.setMemberDisk(port, members[port].disk);
    controller.setMemberState(port, members[port].state);
  }
  if (rebuild.running) controller.startRebuild(rebuild.port, rebuild.speed, rebuild.position, rebuild.size);
  return true;
}

}  // namespace

bool SimulatedHost::saveState(const std::string& dir, std::string& error) const {
  std::lock_guard lock(mutex_);
  std::error_code code;
  fs::create_directories(dir, code);
  if (code) {
    error = "cannot create the simulator state folder " + dir + ": " + code.message();
    return false;
  }
  json drives = json::object();
  for (const auto& [number, drive] : drives_) {
    if (!drive.controller) continue;
    if (!SaveFlash(drive.controller->flash(), fs::path(dir) / FlashFileName(number), error)) return false;
    drives[std::to_string(number)] = ControllerToJson(*drive.controller);
  }
  const std::string text = json{{"format", kStateFormat}, {"scenario", scenario_.name}, {"drives", drives}}.dump(2);
  return WriteFileAtomically(fs::path(dir) / kStateFile, text.data(), text.size(), error);
}

void SimulatedHost::saveStateOnFlashChange(const std::string& dir) {
  std::lock_guard lock(mutex_);
  for (auto& [number, drive] : drives_) {
    if (!drive.controller) continue;
    // Runs inside a request, with the host's lock already held by this thread. Once the whole
    // state is there, an SPI command has changed only this flash.
    const SpiFlash* flash = &drive.controller->flash();
    drive.controller->setFlashChangedListener([this, dir, flash, number = number] {
      std::string error;
      std::error_code code;
      const bool saved = fs::exists(fs::path(dir) / kStateFile, code)
                             ? SaveFlash(*flash, fs::path(dir) / FlashFileName(number), error)
                             : saveState(dir, error);
      if (!saved && autoSaveError_.empty()) autoSaveError_ = error;
    });
  }
}

bool SimulatedHost::loadState(const std::string& dir, std::string& error) {
  std::lock_guard lock(mutex_);
  const fs::path statePath = fs::path(dir) / kStateFile;
  std::error_code code;
  if (!fs::exists(statePath, code)) return true;  // a device never saved starts as the scenario says
  const std::string where = "simulator state " + statePath.string();
  std::ifstream file(statePath, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  json root;
  try {
    root = json::parse(text.str());
  } catch (const json::exception&) {
    error = where + ": not valid JSON";
    return false;
  }
  std::string problem;
  try {
    if (!root.is_object() || root.value("format", 0) != kStateFormat) {
      error = where + ": not a state file of this version";
      return false;
    }
    const auto saved = root.find("drives");
    if (saved == root.end() || !saved->is_object()) {
      error = where + ": drives: expected an object";
      return false;
    }
    for (const auto& [key, value] : saved->items()) {
      const auto number = static_cast<unsigned>(std::strtoul(key.c_str(), nullptr, 10));
      const auto found = drives_.find(number);
      // A drive that is no enclosure in this scenario keeps nothing from another one.
      if (found == drives_.end() || !found->second.controller) continue;
      SimulatedController& controller = *found->second.controller;
      if (!ControllerFromJson(value, "drives." + key, controller, problem)) {
        error = where + ": " + problem;
        return false;
      }
      std::ifstream flashFile(fs::path(dir) / FlashFileName(number), std::ios::binary);
      if (flashFile) {
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(flashFile)), std::istreambuf_iterator<char>());
        if (bytes.size() > SpiFlash::kSize) {
          error = where + ": " + FlashFileName(number) + " is larger than the flash";
          return false;
        }
        controller.flash().Fill(bytes);
      }
    }
  } catch (const json::exception& e) {
    error = where + ": unexpected content: " + e.what();
    return false;
  }
  return true;
}

}  // namespace rur::sim
