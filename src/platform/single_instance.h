// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the desktop program to one instance per data folder: an exclusive lock on a file named
// after the instance (the window names it from its data folder) in the runtime folder. The lock belongs to the open
// file, so it goes away with the process however it ends, and a second start finds it taken.

#include <string>

namespace rur {

class SingleInstanceLock {
 public:
  SingleInstanceLock() = default;
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // True when this process now holds the lock `name` in `folder` (empty: the runtime folder).
  // False when another holder has it, or the lock file cannot be made (then `error` says why).
  bool Acquire(const std::string& name, const std::string& folder, std::string& error);
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// $XDG_RUNTIME_DIR when set and absolute, else the system's temporary folder.
std::string RuntimeDirectory();

}  // namespace rur
