// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An exclusive lock on a folder for the length of one read-change-write of a file in it, so two
// programs that change the file at once do not lose each other's changes; and whether a file can
// be read by other users.

#include <string>

namespace rur {

class FolderLock {
 public:
  explicit FolderLock(const std::string& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

// True when the regular file at path may be read by users other than its owner.
bool ReadableByOthers(const std::string& path);

}  // namespace rur
