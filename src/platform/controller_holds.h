// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller holds of one process: an exclusive flock on one file per drive (the whole-disk
// device node, or a simulated drive's lock file), shared with every other process of the program.
// The flock is taken once; further holds of the same file by the same thread nest inside it, so a
// firmware upgrade that holds its drive for the whole run still runs its own commands. Another
// thread of the process waits as another process would: a detection probing a drive while a flash
// backup reads it would otherwise mix their commands into one garbled conversation.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "transport/scsi_device.h"

namespace rur {

struct HoldOptions {
  bool createFile = false;  // make the lock file when it is missing (never a device node)
  // Run when this process takes the flock and just before it lets go (not for nested holds).
  std::function<void()> taken;
  std::function<void()> releasing;
};

class ControllerHolds {
 public:
  ControllerHolds() = default;
  ControllerHolds(const ControllerHolds&) = delete;
  ControllerHolds& operator=(const ControllerHolds&) = delete;
  ~ControllerHolds();

  // Waits at most waitMs of real time for another process to let go.
  HoldAttempt Hold(const std::string& path, std::uint32_t waitMs, HoldOptions options = {});
  // A new descriptor of the held file (the caller closes it), -1 when this process holds none.
  int DuplicateHeld(const std::string& path);

 private:
  struct Entry {
    int fd = -1;
    unsigned count = 0;
    std::function<void()> releasing;
    std::thread::id owner;
  };
  class Hold;
  void Release(const std::string& path);

  std::mutex taking_;
  std::mutex mutex_;  // entries_
  std::map<std::string, Entry> entries_;
};

}  // namespace rur
