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
#include "platform/file_stamp.h"

namespace rur::sim {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr const char* kStateFile = "state.json";
constexpr const char* kStateLockFile = "state.lock";
// How long a save waits for another process's hold on a drive or on state.json (real time).
constexpr std::uint32_t kSaveHoldWaitMs = 2000;
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

std::vector<std::uint8_t> UsedFlash(const SimulatedController& controller) {
  const SpiFlash& flash = controller.flash();
  std::vector<std::uint8_t> used(flash.usedLength());
  flash.Read(0, used.data(), used.size());
  return used;
}

}  // namespace

std::string SimulatedHost::LockFile(unsigned number) const {
  return (fs::path(sharedDir_) / ("drive" + std::to_string(number) + ".lock")).string();
}

void SimulatedHost::ShareStateFolder(const std::string& dir) {
  std::lock_guard lock(mutex_);
  std::error_code ignored;
  fs::create_directories(dir, ignored);
  sharedDir_ = dir;
}

bool SimulatedHost::FlashChanged(unsigned number) const {
  const auto drive = drives_.find(number);
  if (drive == drives_.end() || !drive->second.controller) return false;
  const auto saved = saved_.find(number);
  return saved == saved_.end() || UsedFlash(*drive->second.controller) != saved->second.flash;
}

void SimulatedHost::ReloadFlashIfNewer(unsigned number) {
  std::lock_guard lock(mutex_);
  const auto drive = drives_.find(number);
  if (sharedDir_.empty() || savedDir_ != sharedDir_ || drive == drives_.end() || !drive->second.controller) return;
  const fs::path path = fs::path(sharedDir_) / FlashFileName(number);
  const std::string stamp = FileStamp(path);
  SavedDrive& saved = saved_[number];
  if (stamp.empty() || stamp == saved.flashStamp) return;
  // Another process saved a new flash for this drive while it held it.
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.eof() && !file) return;
  if (bytes.size() > SpiFlash::kSize) return;
  drive->second.controller->flash().Fill(bytes);
  saved.flash = UsedFlash(*drive->second.controller);
  saved.flashStamp = stamp;
}

void SimulatedHost::SaveIfFlashChanged(unsigned number) {
  std::lock_guard lock(mutex_);
  if (sharedDir_.empty() || !FlashChanged(number)) return;
  std::string error;
  if (!SaveDrives(sharedDir_, {number}, error)) saveError_ = error;
}

bool SimulatedHost::saveState(const std::string& dir, std::string& error) {
  std::lock_guard lock(mutex_);
  std::vector<unsigned> changed;
  for (const auto& [number, drive] : drives_) {
    if (!drive.controller) continue;
    const auto saved = saved_.find(number);
    if (dir != savedDir_ || saved == saved_.end() || FlashChanged(number) ||
        ControllerToJson(*drive.controller).dump() != saved->second.controllerJson)
      changed.push_back(number);
  }
  if (!saveError_.empty()) {
    error = saveError_;
    saveError_.clear();
    return false;
  }
  if (changed.empty()) return true;
  if (dir != sharedDir_) return SaveDrives(dir, changed, error);
  // In a shared folder a drive is saved only while this process holds it.
  std::vector<unsigned> held;
  std::vector<std::unique_ptr<ControllerHold>> holds;
  std::string busy;
  for (unsigned number : changed) {
    HoldAttempt attempt = HoldController(number, kSaveHoldWaitMs);
    if (attempt.outcome == HoldAttempt::Outcome::Held) {
      holds.push_back(std::move(attempt.hold));
      held.push_back(number);
    } else {
      busy +=
          (busy.empty() ? "" : "; ") + std::string("simulated drive ") + std::to_string(number) +
          (attempt.outcome == HoldAttempt::Outcome::Busy ? " is in use by " + attempt.holder : ": " + attempt.error);
    }
  }
  // Drives whose flash was saved as they were let go may need nothing more.
  std::vector<unsigned> still;
  for (unsigned number : held) {
    const auto saved = saved_.find(number);
    if (saved == saved_.end() || FlashChanged(number) ||
        ControllerToJson(*drives_.at(number).controller).dump() != saved->second.controllerJson)
      still.push_back(number);
  }
  if (!still.empty() && !SaveDrives(dir, still, error)) return false;
  if (!busy.empty()) {
    error = busy + ": its state was not saved";
    return false;
  }
  return true;
}

bool SimulatedHost::SaveDrives(const std::string& dir, const std::vector<unsigned>& numbers, std::string& error) {
  std::error_code code;
  fs::create_directories(dir, code);
  if (code) {
    error = "cannot create the simulator state folder " + dir + ": " + code.message();
    return false;
  }
  const bool sameFolder = dir == savedDir_;
  for (unsigned number : numbers) {
    const SimulatedController& controller = *drives_.at(number).controller;
    if (sameFolder && !FlashChanged(number) && saved_.count(number) != 0) continue;
    // Only the used part of the flash: the rest reads as erased when it is loaded again.
    const std::vector<std::uint8_t> used = UsedFlash(controller);
    if (!WriteFileAtomically(fs::path(dir) / FlashFileName(number), reinterpret_cast<const char*>(used.data()),
                             used.size(), error))
      return false;
  }

  // state.json holds every drive: other processes' drives are read back and kept as they are.
  std::unique_ptr<ControllerHold> folderHold;
  if (dir == sharedDir_) {
    HoldAttempt attempt =
        folderLock_.Hold((fs::path(dir) / kStateLockFile).string(), kSaveHoldWaitMs, HoldOptions{true, {}, {}});
    if (attempt.outcome != HoldAttempt::Outcome::Held) {
      error = "cannot save the simulator state in " + dir + ": " +
              (attempt.outcome == HoldAttempt::Outcome::Busy ? "in use by " + attempt.holder : attempt.error);
      return false;
    }
    folderHold = std::move(attempt.hold);
  }
  const fs::path statePath = fs::path(dir) / kStateFile;
  json drives = json::object();
  if (fs::exists(statePath, code)) {
    std::ifstream file(statePath, std::ios::binary);
    const json existing = json::parse(file, nullptr, false);
    if (existing.is_object() && existing.contains("drives") && existing["drives"].is_object())
      drives = existing["drives"];
  }
  for (unsigned number : numbers) drives[std::to_string(number)] = ControllerToJson(*drives_.at(number).controller);
  const std::string text = json{{"format", kStateFormat}, {"scenario", scenario_.name}, {"drives", drives}}.dump(2);
  if (!WriteFileAtomically(statePath, text.data(), text.size(), error)) return false;

  if (!sameFolder) {
    saved_.clear();
    savedDir_ = dir;
  }
  for (unsigned number : numbers) {
    SimulatedController& controller = *drives_.at(number).controller;
    SavedDrive& saved = saved_[number];
    saved.controllerJson = ControllerToJson(controller).dump();
    saved.flash = UsedFlash(controller);
    saved.flashStamp = FileStamp(fs::path(dir) / FlashFileName(number));
  }
  return true;
}

void SimulatedHost::saveStateOnFlashChange(const std::string& dir) {
  std::lock_guard lock(mutex_);
  for (auto& [number, drive] : drives_) {
    if (!drive.controller) continue;
    // Runs inside a request, with the host's lock already held by this thread. Once the whole
    // state is there, an SPI command has changed only this flash.
    drive.controller->setFlashChangedListener([this, dir, number = number] {
      std::string error;
      std::error_code code;
      bool saved;
      if (fs::exists(fs::path(dir) / kStateFile, code)) {
        const std::vector<std::uint8_t> used = UsedFlash(*drives_.at(number).controller);
        const fs::path path = fs::path(dir) / FlashFileName(number);
        saved = WriteFileAtomically(path, reinterpret_cast<const char*>(used.data()), used.size(), error);
        // What the folder now holds of this drive, so the save at its release has nothing left to do.
        if (saved && dir == savedDir_) {
          saved_[number].flash = used;
          saved_[number].flashStamp = FileStamp(path);
        }
      } else {
        saved = SaveDrives(dir, {number}, error);
      }
      if (!saved && autoSaveError_.empty()) autoSaveError_ = error;
    });
  }
}

bool SimulatedHost::loadState(const std::string& dir, std::string& error) {
  std::lock_guard lock(mutex_);
  const fs::path statePath = fs::path(dir) / kStateFile;
  std::error_code code;
  savedDir_ = dir;
  saved_.clear();
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
      SavedDrive& baseline = saved_[number];
      baseline.controllerJson = ControllerToJson(controller).dump();
      baseline.flash = UsedFlash(controller);
      baseline.flashStamp = FileStamp(fs::path(dir) / FlashFileName(number));
    }
  } catch (const json::exception& e) {
    error = where + ": unexpected content: " + e.what();
    return false;
  }
  return true;
}

}  // namespace rur::sim
