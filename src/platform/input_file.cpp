// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace rur {

bool CheckInputFile(const std::string& path, std::uint64_t maxBytes, std::string& error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    error = std::string("cannot be read: ") + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    error = "is a folder, not a file";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = "is not a regular file (a device, a pipe or a socket), so it is not read";
    return false;
  }
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    error = "is too large (" + std::to_string(info.st_size) + " bytes; at most " + std::to_string(maxBytes) +
            " are expected)";
    return false;
  }
  return true;
}

}  // namespace rur
