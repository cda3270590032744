// SPDX-License-Identifier: GPL-3.0-or-later
// Appending on Linux: one write with O_APPEND, never through a link or into a FIFO.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/appended_file.h"

namespace rur {
namespace {

std::string ErrnoText(const std::string& what, const std::string& path, int code) {
  return "cannot " + what + " " + path + ": " + std::strerror(code);
}

// Opens the file at `path` for appending. A new file is made here, a regular file by construction.
// An existing one is first opened for reading only and checked to be a regular file; only then is
// that same file (through the checked descriptor, not the name again) opened for writing, so a
// device node, a FIFO or a link at the name is never opened for writing. `ending` is what the
// file's last line lacks of its end (nothing, "\n" after a lone CR, or "\r\n").
int OpenForAppending(const std::string& path, mode_t mode, std::string& ending, std::string& error) {
  ending.clear();
  constexpr int kAppend = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY;
  int fd = ::open(path.c_str(), kAppend | O_NOFOLLOW | O_CREAT | O_EXCL, mode);
  if (fd >= 0) {
    // The mode must not depend on the umask of whoever made the file.
    ::fchmod(fd, mode);
    return fd;
  }
  const int checked = errno == EEXIST ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK) : -1;
  if (checked < 0) {
    error = errno == ELOOP ? "cannot write " + path + ": it is a symbolic link, which is not followed"
                           : ErrnoText("write", path, errno);
    return -1;
  }
  if (!IsRegularFile(checked, path, "write", error)) {
    ::close(checked);
    return -1;
  }
  struct stat info {};
  char last = '\n';
  if (::fstat(checked, &info) == 0 && info.st_size > 0 && ::pread(checked, &last, 1, info.st_size - 1) == 1)
    ending = LineEndAfter(last);
  fd = ::open(("/proc/self/fd/" + std::to_string(checked)).c_str(), kAppend);
  if (fd < 0) error = ErrnoText("write", path, errno);
  ::close(checked);
  return fd;
}

}  // namespace

bool AppendWholeLines(const std::string& path, const std::string& text, mode_t mode, std::string& error) {
  std::string ending;
  const int fd = OpenForAppending(path, mode, ending, error);
  if (fd < 0) return false;
  struct stat before {};
  ::fstat(fd, &before);
  // A file whose last line was left unended (by a hand, or a program cut off) gets its end first,
  // so the first new line is not glued to it.
  const std::string whole = ending + text;
  ssize_t written = 0;
  do {
    written = ::write(fd, whole.data(), whole.size());
  } while (written < 0 && errno == EINTR);
  const int code = errno;
  bool ok = written == static_cast<ssize_t>(whole.size());
  if (!ok) {
    error = written < 0 ? ErrnoText("write", path, code) : "cannot write " + path + ": the disk is full";
    // A part of the lines went in: take it back unless someone wrote after it, so the retry
    // starts on a whole line.
    struct stat after {};
    if (written > 0 && ::fstat(fd, &after) == 0 && after.st_size == before.st_size + written)
      (void)::ftruncate(fd, before.st_size);
  }
  if (::close(fd) != 0 && ok) {
    error = ErrnoText("write", path, errno);
    ok = false;
  }
  return ok;
}

FileReadStatus ProbeFile(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) return FileReadStatus::Ok;
  return errno == ENOENT ? FileReadStatus::Missing : FileReadStatus::Failed;
}

}  // namespace rur
