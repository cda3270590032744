// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace rur {

FileLock::~FileLock() {
  flock(fd_, LOCK_UN);
  close(fd_);
}

std::unique_ptr<FileLock> FileLock::Acquire(const std::string& path, unsigned waitMs, std::string& error) {
  // flock needs no write access; a link planted in the folder is not followed.
  const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    error = "cannot open the lock file " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  // Holders keep the lock for a read and a save, so a short wait is plenty; a holder that hangs
  // must not hang this process with it.
  constexpr auto kPoll = std::chrono::milliseconds(5);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return std::unique_ptr<FileLock>(new FileLock(fd));
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error = "cannot lock " + path + ": " + std::strerror(errno);
      break;
    }
    if (std::chrono::steady_clock::now() >= end) {
      error = "another program kept " + path + " locked";
      break;
    }
    std::this_thread::sleep_for(kPoll);
  }
  close(fd);
  return nullptr;
}

}  // namespace rur
