// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/new_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/atomic_file.h"

namespace rur {
namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

// The whole buffer in a hidden temporary file of the folder, flushed to the disk, so the final
// name never shows a partial dump. Returns its path, or nothing when it could not be written.
std::optional<std::string> WriteTemporaryFile(const std::filesystem::path& folder, const std::string& name,
                                              const std::uint8_t* data, std::size_t length) {
  std::string pattern = (folder / ("." + name + ".XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) return std::nullopt;
  const std::string temporary(buffer.data());
  const bool ok = ::fchmod(fd, 0666 & ~CurrentUmask()) == 0 && WriteAll(fd, data, length) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!ok || !closed) {
    ::unlink(temporary.c_str());
    return std::nullopt;
  }
  return temporary;
}

// Gives the temporary file its final name unless that name exists. A hard link refuses to replace;
// where the file system has no hard links, an exclusive rename does the same.
NewFilePublish PublishWithoutReplacing(const std::string& temporary, const std::filesystem::path& path) {
  if (::link(temporary.c_str(), path.c_str()) == 0) {
    ::unlink(temporary.c_str());
    return NewFilePublish::Done;
  }
  if (errno == EEXIST) return NewFilePublish::NameTaken;
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
    return NewFilePublish::Done;
  return errno == EEXIST ? NewFilePublish::NameTaken : NewFilePublish::Failed;
}

void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace rur
