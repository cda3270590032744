// SPDX-License-Identifier: GPL-3.0-or-later
#include "smart/dump_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "platform/atomic_file.h"

namespace rur {
namespace {

std::string BaseName(DumpKind kind) { return kind == DumpKind::SmartData ? "dSMART00.bin" : "sSMART00.bin"; }

void ReportCreateFailure(Ui& ui) { ui.messageBox("Fail to create file", "GetSPIFWInfo:", MessageKind::Error); }

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

// The whole buffer in a hidden temporary file of the folder, flushed to the disk, so the final
// name never shows a partial dump. Returns its path, or nothing when it could not be written.
std::optional<std::string> WriteTemporary(const std::filesystem::path& folder, const std::string& name,
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
enum class Publish { Done, NameTaken, Failed };
Publish PublishAs(const std::string& temporary, const std::filesystem::path& path) {
  if (::link(temporary.c_str(), path.c_str()) == 0) {
    ::unlink(temporary.c_str());
    return Publish::Done;
  }
  if (errno == EEXIST) return Publish::NameTaken;
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return Publish::Done;
  return errno == EEXIST ? Publish::NameTaken : Publish::Failed;
}

void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::optional<char> NextDumpCounter(char c) {
  if (c >= '0' && c <= '8') return static_cast<char>(c + 1);
  if (c == '9') return 'A';
  if ((c >= 'A' && c <= 'Y') || (c >= 'a' && c <= 'y')) return static_cast<char>(c + 1);
  return std::nullopt;
}

std::optional<std::filesystem::path> WriteDumpFile(DumpKind kind, const std::uint8_t* data, std::size_t length,
                                                   const std::filesystem::path& folder, Ui& ui) {
  std::string name = BaseName(kind);
  std::optional<std::string> temporary;
  for (;;) {
    std::filesystem::path path = folder / name;
    std::error_code error;
    // symlink_status, so that a dangling link also counts as a taken name.
    while (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
      ui.pump();
      const auto next = NextDumpCounter(name[kDumpCounterIndex]);
      if (!next) {
        ui.panel(4, "Create File Error" + path.string());
        if (temporary) ::unlink(temporary->c_str());
        return std::nullopt;
      }
      name[kDumpCounterIndex] = *next;
      path = folder / name;
    }
    if (!temporary) temporary = WriteTemporary(folder, name, data, length);
    if (!temporary) {
      ReportCreateFailure(ui);
      return std::nullopt;
    }
    switch (PublishAs(*temporary, path)) {
      case Publish::Done:
        SyncFolder(folder);
        ui.panel(4, "Svae File OK :" + path.string());
        return path;
      case Publish::NameTaken: continue;  // someone took the name since we looked: try the next one
      case Publish::Failed:
        ::unlink(temporary->c_str());
        ReportCreateFailure(ui);
        return std::nullopt;
    }
  }
}

SmartDumpPaths DumpSmartPages(const SmartState& state, const std::filesystem::path& folder, Ui& ui) {
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> thresholds;
  for (const SmartBayPages& bay : state.store[0]) {
    data.insert(data.end(), bay.data.begin(), bay.data.end());
    thresholds.insert(thresholds.end(), bay.thresholds.begin(), bay.thresholds.end());
  }
  SmartDumpPaths paths;
  paths.data = WriteDumpFile(DumpKind::SmartData, data.data(), data.size(), folder, ui);
  paths.thresholds = WriteDumpFile(DumpKind::SmartThresholds, thresholds.data(), thresholds.size(), folder, ui);
  return paths;
}

}  // namespace rur
