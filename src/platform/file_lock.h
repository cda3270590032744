// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An exclusive lock on a lock file, held by several processes in turn: a writer that shares a
// file with other processes takes it around its read, merge and save. It is released when the
// object goes, or with the process however it ends.

#include <memory>
#include <string>

namespace rur {

class FileLock {
 public:
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Waits at most `waitMs` of real time; empty with `error` set when the lock file cannot be
  // made or another holder keeps the lock that long.
  static std::unique_ptr<FileLock> Acquire(const std::string& path, unsigned waitMs, std::string& error);

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace rur
