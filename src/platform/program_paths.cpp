// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/program_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/build_info.h"

namespace rur {
namespace {

constexpr const char* kProgramFolder = "rode-rur";
constexpr const char* kSimulatedFolder = "simulated";
constexpr const char* kSystemStateFolder = "/var/lib/rode-rur";
constexpr const char* kSystemSettingsFolder = "/etc/rode-rur";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// systemd passes a colon-separated list when a unit names several folders; ours is the first.
std::string FirstOfList(const std::string& list) { return list.substr(0, list.find(':')); }

bool Absolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string HomeFromUserDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  return found->pw_dir ? std::string(found->pw_dir) : std::string();
}

// An XDG base folder: the variable when it holds an absolute path (a relative one is invalid and
// ignored), else the given folder below the home.
bool UserFolder(const PathFacts& facts, const std::string& variable, const char* belowHome, std::string& out,
                std::string& error) {
  if (Absolute(variable)) {
    out = (std::filesystem::path(variable) / kProgramFolder).string();
    return true;
  }
  if (!Absolute(facts.home)) {
    error = "there is no home folder to keep the program's files in; set HOME or give --data-dir";
    return false;
  }
  out = (std::filesystem::path(facts.home) / belowHome / kProgramFolder).string();
  return true;
}

// The service manager's folder when it gives one, the system's as root, the XDG one otherwise.
bool ChooseFolder(const PathFacts& facts, const std::string& serviceFolder, const char* systemFolder,
                  const std::string& xdgHome, const char* belowHome, std::string& out, std::string& error) {
  if (Absolute(serviceFolder)) {
    out = serviceFolder;
    return true;
  }
  if (facts.root) {
    out = systemFolder;
    return true;
  }
  return UserFolder(facts, xdgHome, belowHome, out, error);
}

bool StateFolder(const PathFacts& facts, std::string& out, std::string& error) {
  return ChooseFolder(facts, facts.serviceStateDirectory, kSystemStateFolder, facts.stateHome, ".local/state", out,
                      error);
}

bool SettingsFolder(const PathFacts& facts, std::string& out, std::string& error) {
  return ChooseFolder(facts, facts.serviceConfigurationDirectory, kSystemSettingsFolder, facts.configHome, ".config",
                      out, error);
}

}  // namespace

std::string ExecutableDirectory() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return path.parent_path().string();
}

PathFacts CurrentPathFacts() {
  PathFacts facts;
  facts.root = ::geteuid() == 0;
  facts.stateHome = Environment("XDG_STATE_HOME");
  facts.configHome = Environment("XDG_CONFIG_HOME");
  facts.home = Environment("HOME");
  if (facts.home.empty()) facts.home = HomeFromUserDatabase();
  facts.serviceStateDirectory = FirstOfList(Environment("STATE_DIRECTORY"));
  facts.serviceConfigurationDirectory = FirstOfList(Environment("CONFIGURATION_DIRECTORY"));
  return facts;
}

std::string EnclosureOwnerFolder(const PathFacts& facts) {
  return Absolute(facts.serviceStateDirectory) ? facts.serviceStateDirectory : std::string(kSystemStateFolder);
}

bool OwnerFolderWritable(const std::string& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

bool ChooseProgramFolders(const PathFacts& facts, bool simulate, const std::string& explicitDirectory,
                          ProgramFolders& out, std::string& error) {
  if (!explicitDirectory.empty()) {
    out = {explicitDirectory, explicitDirectory};
    return true;
  }
  if (simulate) {
    // The sandbox is the user's own, root's included: a demo stays out of the system folders.
    std::string userState;
    if (!UserFolder(facts, facts.stateHome, ".local/state", userState, error)) return false;
    const std::string sandbox = (std::filesystem::path(userState) / kSimulatedFolder).string();
    out = {sandbox, sandbox};
    return true;
  }
  std::string state;
  if (!StateFolder(facts, state, error)) return false;
  std::string settings;
  if (!SettingsFolder(facts, settings, error)) return false;
  out = {state, settings};
  return true;
}

bool FolderSafeForFiles(const std::string& path, unsigned userId, std::string& error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    error = "cannot use the folder " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    error = path + " is not a folder";
    return false;
  }
  if (info.st_uid != userId && info.st_uid != 0) {
    error = "the folder " + path + " belongs to another user (uid " + std::to_string(info.st_uid) +
            "); the program keeps its files only in a folder of its own user or of root";
    return false;
  }
  if ((info.st_mode & S_IWOTH) != 0) {
    error = "the folder " + path +
            " is writable by other users; the program does not keep its files there (chmod o-w " + path + ")";
    return false;
  }
  return true;
}

bool EnsureDirectory(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "no folder given for the program's files";
    return false;
  }
  if (!MakeFolders(path, 0700, error)) return false;
  return FolderSafeForFiles(path, ::geteuid(), error);
}

std::string SystemSettingsFolder() { return kSystemSettingsFolder; }

std::vector<std::string> SharedDataFolders(const std::string& executableDirectory) {
  std::vector<std::string> folders;
  if (!executableDirectory.empty()) {
    const std::filesystem::path bin(executableDirectory);
    folders.push_back((bin.parent_path() / "share" / kProgramFolder).lexically_normal().string());
    folders.push_back((bin / "share" / kProgramFolder).lexically_normal().string());
  }
  folders.emplace_back(kInstalledDataFolder);
  return folders;
}

}  // namespace rur
