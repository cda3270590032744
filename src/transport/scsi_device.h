// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seam between the program and a disk: one SCSI request with data coming from the device.
// The SG_IO device, the simulated enclosure and test doubles all implement it, so every read
// and inquiry the program sends passes through ScsiDevice::Execute.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rur {

constexpr std::size_t kSectorSize = 512;
using Sector = std::array<std::uint8_t, kSectorSize>;

// Physical drive numbers run from 0 to 63: the device table keeps six bits of them.
constexpr unsigned kDriveNumberLimit = 64;

struct ScsiRequest {
  std::array<std::uint8_t, 10> cdb{};
  std::uint8_t* buffer = nullptr;  // receives transferLength bytes
  std::uint32_t transferLength = 0;
  std::uint32_t timeoutMs = 0;
};

class ScsiDevice {
 public:
  virtual ~ScsiDevice() = default;
  // True when the request completed at the transport level; SCSI status and sense are not judged.
  virtual bool Execute(const ScsiRequest& request) = 0;
};

// An open device; empty stands for the invalid handle. Closing is releasing it.
using DeviceHandle = std::unique_ptr<ScsiDevice>;

// What the host knows of one physical drive without talking to it.
struct DriveFacts {
  unsigned number = 0;
  std::string bus;   // "usb", "ata", "sata", "sas", "nvme", "scsi", "virtio", ...; empty when unknown
  std::string path;  // the whole-disk device node, "/dev/sdb"
  std::string byId;  // its stable name in /dev/disk/by-id, empty when it has none
  // A USB disk's bridge as udev names it (ID_VENDOR_ID, ID_MODEL_ID, ID_SERIAL_SHORT).
  std::string usbVendorId;
  std::string usbProductId;
  std::string usbSerial;
  bool usb() const { return bus == "usb"; }
};

// Whether a drive can be opened, and why not.
struct OpenCheck {
  enum class Outcome { Opens, NoAccess, Fails } outcome = Outcome::Opens;
  std::string reason;  // "permission denied", ...
};

// An exclusive hold on one drive's controller, shared by every process of the program, so only
// one command sequence is ever in flight on it. Released when destroyed.
class ControllerHold {
 public:
  virtual ~ControllerHold() = default;
};

struct HoldAttempt {
  enum class Outcome { Held, Busy, Failed } outcome = Outcome::Held;
  std::unique_ptr<ControllerHold> hold;  // Held
  std::string holder;                    // Busy: what holds it, "rurctl firmware (process 4242)"
  std::string error;                     // Failed: why the hold could not be taken
};

// Where physical drives come from: the host's disks or simulated enclosures.
class DriveSource {
 public:
  virtual ~DriveSource() = default;
  // Physical drive number n; empty when no such drive exists or it cannot be opened.
  virtual DeviceHandle OpenPhysicalDrive(unsigned number) = 0;
  // The drives present now, by number. The default lists the numbers that open, as USB disks.
  virtual std::vector<DriveFacts> ListDrives();
  // Whether drive n opens now; the default knows no reasons.
  virtual OpenCheck CheckOpen(unsigned number);
  // Takes the drive's controller hold, waiting at most waitMs of real time for another holder.
  // Holds nest within one thread; another thread waits as another process does. The default
  // holds nothing that another process could see, only this source's threads are kept apart.
  virtual HoldAttempt HoldController(unsigned number, std::uint32_t waitMs);

 private:
  class LocalHold;
  struct LocalHolder {
    std::thread::id owner;
    unsigned count = 0;
  };
  std::mutex localMutex_;
  std::condition_variable localReleased_;
  std::map<unsigned, LocalHolder> localHolds_;  // by drive
};

}  // namespace rur
