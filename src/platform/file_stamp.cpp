// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_stamp.h"

#include <sys/stat.h>

namespace rur {

std::string FileStamp(const std::filesystem::path& path) {
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0) return {};
  return std::to_string(facts.st_ino) + ":" + std::to_string(facts.st_mtim.tv_sec) + "." +
         std::to_string(facts.st_mtim.tv_nsec) + ":" + std::to_string(facts.st_size);
}

}  // namespace rur
