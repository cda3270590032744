// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/claimed_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"

namespace rur {

ClaimOutcome ClaimedFile::Claim(const std::string& path, std::string& contents, std::string& error) {
  Release();
  contents.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return ClaimOutcome::Gone;
    error = "cannot open " + path + ": " + std::strerror(errno);
    return ClaimOutcome::Failed;
  }
  if (!IsRegularFile(fd, path, "claim", error)) {
    ::close(fd);
    return ClaimOutcome::Failed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno;
    ::close(fd);
    if (code == EWOULDBLOCK) return ClaimOutcome::HeldElsewhere;
    error = "cannot lock " + path + ": " + std::strerror(code);
    return ClaimOutcome::Failed;
  }
  // The holder before may have removed the file or put a new one in its place before letting go:
  // the lock counts only while the name still leads to the file locked.
  struct stat opened {};
  struct stat named {};
  const bool sameFile = ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
                        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
  if (!sameFile) {
    const bool removed = errno == ENOENT;
    ::close(fd);
    return removed ? ClaimOutcome::Gone : ClaimOutcome::HeldElsewhere;
  }
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      error = "cannot read " + path + ": " + std::strerror(errno);
      ::close(fd);
      return ClaimOutcome::Failed;
    }
    contents.append(buffer, static_cast<std::size_t>(n));
  }
  handle_ = fd;
  return ClaimOutcome::Claimed;
}

void ClaimedFile::Release() {
  if (handle_ == kNone) return;
  ::close(static_cast<int>(handle_));  // drops the lock
  handle_ = kNone;
}

}  // namespace rur
