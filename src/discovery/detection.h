// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding the enclosures among the physical drives. A detection job probes the drives on a USB bus
// (every disk with allDisks, and drives named explicitly whatever their bus; two passes when the
// first finds nothing) on its own thread, or inline on the virtual clock, and leaves its result to
// be published on the engine's main context. A drive that cannot be read for lack of permission is
// reported; one whose controller another process holds is carried over when it was known. Device-change notices start a
// countdown; when it runs out the drives are counted again and a new detection is requested if they changed.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "discovery/device_table.h"
#include "discovery/volume_table.h"
#include "monitor/identify_block.h"
#include "monitor/status_record.h"
#include "platform/clock.h"
#include "platform/user_interface.h"
#include "transport/controller_channel.h"

namespace rur {

// The device-change counter runs from 16 to 26 in 500 ms ticks: a change is acted on 5 s after
// the last notice.
constexpr int kDeviceChangeStart = 16;
constexpr int kDeviceChangeDue = 26;

// Which drives a detection probes.
struct ProbeScope {
  bool allDisks = false;             // every disk, not only those on a USB bus
  std::vector<unsigned> alsoDrives;  // drives named explicitly, probed whatever their bus
};

// A drive whose controller another process held through the probe.
struct BusyDrive {
  unsigned drive = 0;
  std::string path;
  std::string holder;
};

// What a detection starts from, taken on the main context when it is requested, so the job never
// touches live state.
struct DetectionStart {
  bool programStarted = true;
  int upgradeDrive = -1;  // the drive of a running upgrade, carried over without probing
  DeviceEntry upgradeEntry = 0;
  DevicePosition upgradeInfo;
  std::array<StatusRecord, kStatusRecordSlots> records{};  // the probe updates its copy
  // The devices known now: one that another process holds through the probe is carried over.
  std::array<DeviceEntry, kMaxDevices> knownEntries{};
  std::array<DevicePosition, kMaxDevices> knownInfo{};
  unsigned knownCount = 0;
  std::array<IdentifyBlock, kIdentifySlots> knownIdentity{};
};

// What a finished detection found.
struct DetectionResult {
  std::array<DeviceEntry, kMaxDevices> entries{};
  unsigned count = 0;
  std::array<DevicePosition, kMaxDevices> info{};
  std::array<IdentifyBlock, kIdentifySlots> identity{};
  std::array<StatusRecord, kStatusRecordSlots> records{};
  VolumeTable volumes;
  // "cannot read /dev/sdb: permission denied", once per drive.
  std::vector<std::string> accessProblems;
  // Held by another process and not known before: worth another detection later.
  std::vector<BusyDrive> busy;
  // Every drive probed, with its names (detect and status show them).
  std::vector<DriveFacts> probed;
};

class Detection {
 public:
  struct Services {
    DriveSource& drives;
    VolumeLister volumes;
    ControllerChannel& channel;
    Clock& clock;
    Ui& ui;
    // The product type byte and header check from the flash head of a drive being probed.
    std::function<std::optional<FlashHead>(unsigned drive)> readFlashHead;
  };

  explicit Detection(Services services);
  ~Detection();
  Detection(const Detection&) = delete;
  Detection& operator=(const Detection&) = delete;

  // Which drives are probed; set before Start.
  void SetScope(ProbeScope scope) { scope_ = std::move(scope); }
  const ProbeScope& scope() const { return scope_; }
  // Counts the drives and volumes; with ownThread the jobs run on a thread of their own, else
  // RunRequested runs them.
  void Start(bool ownThread);
  // A running pass ends at the next drive; the thread is joined.
  void Stop();

  void Request(DetectionStart start);
  // Runs a requested job inline (the virtual clock's single thread).
  void RunRequested();
  bool running() const { return detecting_.load(); }
  bool finished() const { return done_.load(); }
  // The finished job's result; the job is then over.
  DetectionResult TakeResult();

  // Device changes: a notice restarts the countdown. After a removal the drives are probed again
  // even when their count comes out the same: what is on a drive may have changed meanwhile.
  void DeviceChangeNotice(bool removal = false) {
    if (removal) removalSeen_ = true;
    countdown_ = kDeviceChangeStart;
  }
  // One 500 ms tick of the countdown: true while it still counts.
  bool CountDown();
  bool changeDue() const { return countdown_ >= kDeviceChangeDue; }
  bool changePending() const { return countdown_ != 0; }
  int countdown() const { return countdown_; }
  // Counts the drives and volumes again when a change is due: true when they differ from the last
  // count (a detection is then wanted), false when nothing changed.
  bool RecountDrives();
  // Asks for a new detection after the device-change wait even when the count does not change
  // (a drive was busy).
  void RetryLater() {
    retry_ = true;
    countdown_ = kDeviceChangeStart;
  }

  // Set from a request (or a due change) until its result was published or nothing changed.
  bool probing() const { return probing_; }
  void ProbingOver() { probing_ = false; }

 private:
  // The candidates that open now, and the reasons of those that cannot be read.
  struct DriveCount {
    std::vector<DriveFacts> openable;
    std::vector<std::string> accessProblems;
  };
  void Count(std::vector<std::string>& logical, DriveCount& drives);
  bool Wanted(const DriveFacts& drive) const;
  bool CarryOverKnown(unsigned drive);
  void Job();
  bool ProbePass();
  void ProbeDrive(unsigned drive, unsigned position);
  void FillCapacityAndSensors(unsigned drive, DevicePosition& info, bool membersOk);
  void Wake();

  Services services_;
  DetectionStart start_;
  DetectionResult staged_;
  ProbeScope scope_;
  std::vector<std::string> logicalDrives_;
  DriveCount drives_;
  bool retry_ = false;
  std::atomic<bool> removalSeen_{false};
  std::atomic<int> countdown_{0};
  bool probing_ = true;

  std::atomic<bool> requested_{false};
  std::atomic<bool> detecting_{false};
  std::atomic<bool> done_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
  // The detection thread sleeps here until a detection is requested or the engine stops.
  std::mutex mutex_;
  std::condition_variable wake_;
};

}  // namespace rur
