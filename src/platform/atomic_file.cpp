// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <filesystem>
#include <fstream>

namespace rur {

static std::string ErrnoText(const std::string& what, const std::string& path, int code) {
  return what + " " + path + ": " + std::strerror(code);
}

bool IsRegularFile(int fd, const std::string& path, const std::string& what, std::string& error) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = ErrnoText("cannot " + what, path, errno);
    return false;
  }
  if (S_ISREG(info.st_mode)) return true;
  error = "cannot " + what + " " + path + ": " +
          (S_ISDIR(info.st_mode)    ? "it is a folder"
           : S_ISFIFO(info.st_mode) ? "it is a FIFO, not a regular file"
                                    : "it is not a regular file");
  return false;
}

FileReadStatus ReadWholeFile(const std::string& path, std::string& contents, std::string& error) {
  contents.clear();
  // Without O_NONBLOCK a FIFO planted at the name would hold the open until a writer came.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return FileReadStatus::Missing;
    error = errno == ELOOP ? "cannot read " + path + ": it is a symbolic link, which is not followed"
                           : ErrnoText("cannot read", path, errno);
    return FileReadStatus::Failed;
  }
  if (!IsRegularFile(fd, path, "read", error)) {
    ::close(fd);
    return FileReadStatus::Failed;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = ErrnoText("cannot read", path, errno);
      ::close(fd);
      return FileReadStatus::Failed;
    }
    contents.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return FileReadStatus::Ok;
}

static bool WriteAll(int fd, const std::string& contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

static BeforeRenameHook beforeRenameHook = nullptr;

void SetBeforeRenameHookForTests(BeforeRenameHook hook) { beforeRenameHook = hook; }

mode_t CurrentUmask() {
  // Linux shows the mask in the process status; umask() itself can only be read by setting it,
  // which would race with other threads creating files.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

bool WriteFileAtomically(const std::string& path, const std::string& contents, mode_t mode, std::string& error,
                         FileModeUse use) {
  const std::filesystem::path target(path);
  const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0) {
    if (S_ISLNK(existing.st_mode)) {
      error = "cannot write " + path + ": it is a symbolic link, which is not followed";
      return false;
    }
    // The rename would put a plain file in place of a device node, a FIFO or a socket.
    if (!S_ISREG(existing.st_mode)) {
      error = "cannot write " + path + ": it exists and is not a regular file";
      return false;
    }
  }
  std::string temporary = folder + "/." + target.filename().string() + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    error = ErrnoText("cannot write", path, errno);
    return false;
  }
  int failure = 0;
  const mode_t applied = use == FileModeUse::Exact ? mode : mode & ~CurrentUmask();
  if (::fchmod(fd, applied) != 0 || !WriteAll(fd, contents) || ::fsync(fd) != 0) failure = errno;
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && beforeRenameHook && !beforeRenameHook(temporary)) {
    error = "cannot write " + path + ": interrupted before the rename";
    return false;
  }
  if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
  if (failure != 0) {
    error = ErrnoText("cannot write", path, failure);
    ::unlink(temporary.c_str());
    return false;
  }
  // The rename itself must reach the disk too: until then a crash may bring back the old file.
  return SyncFolderOf(folder, path, error);
}

bool SyncFolderOf(const std::string& folder, const std::string& path, std::string& error) {
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd < 0) {
    error = ErrnoText("cannot make the save of " + path + " durable: cannot open", folder, errno);
    return false;
  }
  const bool synced = ::fsync(folderFd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
  const int code = errno;
  ::close(folderFd);
  if (!synced) error = ErrnoText("cannot make the save of " + path + " durable: cannot flush", folder, code);
  return synced;
}

bool MakeFolders(const std::string& folder, mode_t mode, std::string& error) {
  std::string partial;
  std::size_t position = 0;
  while (position <= folder.size()) {
    const std::size_t slash = folder.find('/', position);
    const std::size_t end = slash == std::string::npos ? folder.size() : slash;
    partial = folder.substr(0, end);
    position = end + 1;
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), mode) == 0) {
      // The mask must not open (or close) a new folder beyond what was asked for.
      if (::chmod(partial.c_str(), mode) != 0) {
        error = ErrnoText("cannot set the permissions of folder", partial, errno);
        return false;
      }
    } else if (errno != EEXIST) {
      error = ErrnoText("cannot create folder", partial, errno);
      return false;
    }
  }
  return true;
}

bool RemoveFileIfPresent(const std::string& path, std::string& error) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  error = ErrnoText("cannot delete", path, errno);
  return false;
}

}  // namespace rur
