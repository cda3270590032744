// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace rur {

SingleInstanceLock::~SingleInstanceLock() { Release(); }

bool SingleInstanceLock::Acquire(const std::string& name, const std::string& folder, std::string& error) {
  if (held()) return true;
  const std::string path = (std::filesystem::path(folder.empty() ? RuntimeDirectory() : folder) / name).string();
  // A shared temporary folder holds one file per user, so one user's lock never blocks another's.
  const bool shared = folder.empty() && RuntimeDirectory() == std::filesystem::temp_directory_path().string();
  const std::string lockPath = shared ? path + "-" + std::to_string(getuid()) : path;
  // flock needs no write access.
  const int fd = open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error = "cannot open the lock file " + lockPath + ": " + std::strerror(errno);
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) error = "cannot lock " + lockPath + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void SingleInstanceLock::Release() {
  if (fd_ < 0) return;
  flock(fd_, LOCK_UN);
  close(fd_);
  fd_ = -1;
}

std::string RuntimeDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return runtime;
  std::error_code ignored;
  const auto temp = std::filesystem::temp_directory_path(ignored);
  return temp.empty() ? std::string("/tmp") : temp.string();
}

}  // namespace rur
