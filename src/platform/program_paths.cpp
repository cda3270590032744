#include "platform/program_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace rur {
namespace {

constexpr const char* kProgramFolder = "rode-rur";
constexpr const char* kSimulatedFolder = "simulated";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace

std::string ExecutableDirectory() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return path.parent_path().string();
}

PathFacts CurrentPathFacts() {
  return PathFacts{ExecutableDirectory(), Environment("XDG_STATE_HOME"), Environment("HOME")};
}

std::string UserStateDirectory(const PathFacts& facts) {
  // A relative XDG_STATE_HOME is invalid and must be ignored.
  if (!facts.stateHome.empty() && facts.stateHome.front() == '/')
    return (std::filesystem::path(facts.stateHome) / kProgramFolder).string();
  const std::string home = facts.home.empty() ? std::string("/tmp") : facts.home;
  return (std::filesystem::path(home) / ".local" / "state" / kProgramFolder).string();
}

std::string ChooseDataDirectory(const PathFacts& facts, bool simulate, const std::string& explicitDirectory,
                                const std::function<bool(const std::string&)>& writable) {
  if (!explicitDirectory.empty()) return explicitDirectory;
  if (simulate) return (std::filesystem::path(UserStateDirectory(facts)) / kSimulatedFolder).string();
  if (!facts.executableDirectory.empty() && writable(facts.executableDirectory)) return facts.executableDirectory;
  return UserStateDirectory(facts);
}

bool DirectoryWritable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

bool EnsureDirectory(const std::string& path, std::string& error) {
  std::error_code code;
  std::filesystem::create_directories(path, code);
  if (code) {
    error = "cannot create the folder " + path + ": " + code.message();
    return false;
  }
  if (!std::filesystem::is_directory(path, code)) {
    error = path + " is not a folder";
    return false;
  }
  return true;
}

}  // namespace rur
