// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/caller_descriptor.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rur::service {
namespace {

// At most what a pipe takes at once once it polls writable, so a write never waits for room.
constexpr std::size_t kPieceBytes = 4096;

std::optional<std::string> Stat(int fd, struct stat& facts) {
  if (::fstat(fd, &facts) != 0) return std::string("the descriptor cannot be examined: ") + std::strerror(errno);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> RefuseImageDescriptor(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return std::string("the descriptor is not open: ") + std::strerror(errno);
#ifdef O_PATH
  if ((flags & O_PATH) != 0) return std::string("the image's descriptor only names a file; open it for reading");
#endif
  if ((flags & O_ACCMODE) == O_WRONLY) return std::string("the image's descriptor is open for writing only");
  struct stat facts {};
  if (auto why = Stat(fd, facts)) return why;
  if (!S_ISREG(facts.st_mode)) return std::string("the image is not a regular file");
  return std::nullopt;
}

std::optional<std::string> RefuseBackupDescriptor(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return std::string("the descriptor is not open: ") + std::strerror(errno);
#ifdef O_PATH
  if ((flags & O_PATH) != 0) return std::string("the backup's descriptor only names a file; open it for writing");
#endif
  if ((flags & O_ACCMODE) == O_RDONLY) return std::string("the backup's descriptor is open for reading only");
  struct stat facts {};
  if (auto why = Stat(fd, facts)) return why;
  if (!S_ISREG(facts.st_mode) && !S_ISFIFO(facts.st_mode))
    return std::string("the backup goes to a regular file or a pipe, not to this descriptor");
  return std::nullopt;
}

std::optional<std::uint64_t> DescriptorImageReader::Open(const std::string&) {
  if (auto why = RefuseImageDescriptor(fd_)) {
    error_ = *why;
    return std::nullopt;
  }
  struct stat facts {};
  ::fstat(fd_, &facts);
  return static_cast<std::uint64_t>(facts.st_size);
}

std::size_t DescriptorImageReader::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
  for (;;) {
    const ssize_t got = ::pread(fd_, out, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

bool WriteWithoutBlocking(int fd, const std::uint8_t* bytes, std::size_t size, int silenceMs, std::string& error) {
  std::size_t written = 0;
  while (written < size) {
    pollfd descriptor{fd, POLLOUT, 0};
    const int ready = ::poll(&descriptor, 1, silenceMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      error = "nobody read the backup for " + std::to_string(silenceMs / 1000) + " s";
      return false;
    }
    if (ready < 0 || (descriptor.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      error = "the reader of the backup went away";
      return false;
    }
    const ssize_t count = ::write(fd, bytes + written, std::min(kPieceBytes, size - written));
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (count <= 0) {
      error = std::string("the backup file could not be written: ") + std::strerror(errno);
      return false;
    }
    written += static_cast<std::size_t>(count);
  }
  return true;
}

}  // namespace rur::service
