// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/journal_stream.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace rur {

bool StreamIsJournal(int fd) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  std::uintmax_t device = 0;
  std::uintmax_t inode = 0;
  if (std::sscanf(stream, "%" SCNuMAX ":%" SCNuMAX, &device, &inode) != 2) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  return info.st_dev == device && info.st_ino == inode;
}

std::string JournalLine(std::string_view line, JournalPriority priority, bool toJournal) {
  if (!toJournal) return std::string(line);
  return "<" + std::to_string(static_cast<int>(priority)) + ">" + std::string(line);
}

}  // namespace rur
