// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host as a scenario describes it: simulated physical drives (plain disks and enclosures)
// that the program opens by number like real ones. It plays the scenario's timeline on the clock,
// records every request a drive receives (and can trace them to a file), refuses anything but
// READ(10) and INQUIRY, and can save the enclosures' state so they outlive the program. Processes
// that share a state folder share the enclosures: a lock file per drive there is the drive's
// controller hold, as the flock on a disk node is on a real host.
// One host serves every thread of the program; its handles must not outlive it.

#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "emulator/scenario.h"
#include "emulator/simulated_controller.h"
#include "platform/clock.h"
#include "platform/controller_holds.h"
#include "platform/drive_notice.h"
#include "platform/mounted_volume.h"
#include "transport/scsi_device.h"

namespace rur::sim {

class SimulatedHost final : public DriveSource {
 public:
  SimulatedHost(Scenario scenario, Clock& clock);
  ~SimulatedHost() override;

  DeviceHandle OpenPhysicalDrive(unsigned number) override;  // empty for no drive / unplugged drive
  // The plugged drives with their bus and the names a host would give them: /dev/sd<letters> by
  // drive number and a by-id name from the INQUIRY fields.
  std::vector<DriveFacts> ListDrives() override;
  // Without a shared state folder the hold is this process's alone.
  HoldAttempt HoldController(unsigned number, std::uint32_t waitMs) override;

  // Applies the timeline events due at the clock's time; tells the listener of each plug and
  // unplug, in order.
  // Requests and opens call it too, so an event is seen by the first command after its time.
  void Advance();
  void setDeviceChangeListener(std::function<void(const DriveNotice&)> listener);
  // Unplugs or plugs a drive at once, as the timeline's events do (tests pull a drive mid-command).
  void SetPlugged(unsigned drive, bool plugged);

  // The mounted partitions ("sdb1", ...) of the drives present now, as the host would list them.
  std::vector<MountedVolume> volumes() const;

  struct Request {
    unsigned drive;
    bool inquiry;
    std::uint32_t lba;
    std::array<std::uint8_t, 10> cdb;
  };
  // Every request received, in order (the oldest are dropped past two million).
  const std::vector<Request>& requests() const { return requests_; }
  void clearRequests();
  std::size_t refusedRequests() const { return refused_; }  // requests other than READ(10) and INQUIRY
  // Appends "<drive> READ <lba>" or "<drive> INQUIRY" per request; false when the file cannot be opened.
  bool setTraceFile(const std::string& path);
  // Some trace line could not be written (a full disk, a closed pipe): the trace is incomplete.
  bool traceLost() const { return traceLost_; }

  // Saves the drives whose state differs from what dir holds (all of them into a new folder); in
  // a shared folder each under its drive's hold, so a drive another process is changing is left
  // alone. A drive whose flash changed is also saved as soon as this process lets go of it.
  bool saveState(const std::string& dir, std::string& error);
  bool loadState(const std::string& dir, std::string& error);  // missing state = fresh, not an error
  // Saves the state into dir whenever a flash changes (every erase and write command), so a
  // program killed in the middle of an upgrade leaves the flash as far as it got. The first
  // failed save is kept for autoSaveError().
  void saveStateOnFlashChange(const std::string& dir);
  const std::string& autoSaveError() const { return autoSaveError_; }
  // Shares the state folder with the other processes that use it (after loadState): the drives'
  // controller holds become lock files there, and a drive taken after another process saved a
  // new flash for it loads that flash first.
  void ShareStateFolder(const std::string& dir);

  SimulatedController* controller(unsigned drive);  // null for plain disks and unknown drives
  bool plugged(unsigned drive) const;
  std::optional<LocalDateTime> startTime() const { return scenario_.start; }
  const Scenario& scenario() const { return scenario_; }
  std::uint64_t programTimeMs() const;

  // The device face of drive number `drive`: serves one request; false when it is not completed.
  bool Serve(unsigned drive, const ScsiRequest& request);

 private:
  struct Drive {
    DriveSpec spec;
    bool plugged = true;
    std::unique_ptr<SimulatedController> controller;
  };

  // What a state folder holds of one drive, as this host last loaded or saved it.
  struct SavedDrive {
    std::string controllerJson;
    std::vector<std::uint8_t> flash;
    std::string flashStamp;  // identity and time of the flash file
  };

  bool AdvanceLocked();  // true when a drive was plugged or unplugged
  bool SaveDrives(const std::string& dir, const std::vector<unsigned>& numbers, std::string& error);
  bool FlashChanged(unsigned number) const;
  void ReloadFlashIfNewer(unsigned number);
  void SaveIfFlashChanged(unsigned number);
  std::string LockFile(unsigned number) const;
  void Apply(const TimelineEvent& event, bool& deviceChanged);
  void Trace(const std::string& line);
  void NotifyIfChanged(bool changed);

  mutable std::recursive_mutex mutex_;
  Scenario scenario_;
  Clock& clock_;
  std::uint64_t startMs_;
  std::size_t nextEvent_ = 0;
  std::map<unsigned, Drive> drives_;
  std::vector<Request> requests_;
  std::size_t refused_ = 0;
  std::ofstream trace_;
  bool traceLost_ = false;  // a trace line could not be written
  std::function<void(const DriveNotice&)> listener_;
  std::vector<DriveNotice> untold_;  // plugs and unplugs applied, not yet told to the listener
  std::string autoSaveError_;
  std::string savedDir_;                  // the folder `saved_` describes
  std::map<unsigned, SavedDrive> saved_;  // by drive number
  std::string sharedDir_;
  std::string saveError_;  // a save when a drive was let go failed; saveState reports it
  ControllerHolds holds_;
  ControllerHolds folderLock_;  // state.json, which every drive's save rewrites
};

}  // namespace rur::sim
