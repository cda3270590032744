// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/read_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rur {

int OpenRegularFileForReading(const std::string& path, std::uint64_t& size, std::string& error) {
  error.clear();
  // Without O_NONBLOCK a FIFO would hold the open until some writer came.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = std::strerror(errno);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = ::fstat(fd, &info) != 0 ? std::strerror(errno)
            : S_ISDIR(info.st_mode) ? "it is a folder"
                                    : "it is not a regular file";
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  size = static_cast<std::uint64_t>(info.st_size);
  return fd;
}

std::size_t ReadFileAt(int file, std::uint64_t offset, std::uint8_t* out, std::size_t count) {
  for (;;) {
    const ssize_t got = ::pread(file, out, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

void CloseReadOnlyFile(int file) { ::close(file); }

}  // namespace rur
