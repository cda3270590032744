// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its files on Windows: the day logs, dumps and mail text files of the
// machine under %ProgramData%\rode-rur (the settings themselves are in the registry); a simulated
// run in the user's own %LOCALAPPDATA%\rode-rur\simulated, so a demo never touches them.
#include <cstdlib>
#include <filesystem>

#include "platform/atomic_file.h"
#include "platform/build_info.h"
#include "platform/program_paths.h"
#include "platform/windows_text.h"

namespace rur {
namespace {

constexpr const char* kProgramFolder = "rode-rur";
constexpr const char* kSimulatedFolder = "simulated";

std::string Environment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value ? Utf8Text(value) : std::string();
}

std::string Below(const std::string& folder, const char* name) {
  return (std::filesystem::path(WideText(folder)) / name).generic_string();
}

}  // namespace

std::string ExecutableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return Utf8Text(std::filesystem::path(path).parent_path().wstring());
}

// The Linux facts in Windows terms: the machine's data folder stands for the system folders, the
// user's local application data for the home.
PathFacts CurrentPathFacts() {
  PathFacts facts;
  facts.serviceStateDirectory = Environment(L"ProgramData");
  facts.serviceConfigurationDirectory = facts.serviceStateDirectory;
  facts.home = Environment(L"LOCALAPPDATA");
  return facts;
}

// The machine's own folder keeps what every face must see of an enclosure (an interrupted upgrade).
std::string EnclosureOwnerFolder(const PathFacts& facts) {
  return Below(facts.serviceStateDirectory.empty() ? std::string("C:/ProgramData") : facts.serviceStateDirectory,
               kProgramFolder);
}

bool OwnerFolderWritable(const std::string& folder) {
  const DWORD attributes = ::GetFileAttributesW(WideText(folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_READONLY);
}

bool ChooseProgramFolders(const PathFacts& facts, bool simulate, const std::string& explicitDirectory,
                          ProgramFolders& out, std::string& error) {
  if (!explicitDirectory.empty()) {
    out = {explicitDirectory, explicitDirectory};
    return true;
  }
  const std::string& base = simulate ? facts.home : facts.serviceStateDirectory;
  if (base.empty()) {
    error = simulate ? "there is no LOCALAPPDATA folder to keep the simulated files in; give --data-dir"
                     : "there is no ProgramData folder to keep the program's files in; give --data-dir";
    return false;
  }
  const std::string folder = Below(base, kProgramFolder);
  const std::string chosen = simulate ? Below(folder, kSimulatedFolder) : folder;
  out = {chosen, chosen};
  return true;
}

bool FolderSafeForFiles(const std::string& path, unsigned, std::string& error) {
  std::error_code code;
  if (!std::filesystem::is_directory(std::filesystem::path(WideText(path)), code)) {
    error = code ? "cannot use the folder " + path + ": " + code.message() : path + " is not a folder";
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
  return FolderSafeForFiles(path, 0, error);
}

std::string SystemSettingsFolder() {
  const std::string machine = Environment(L"ProgramData");
  return Below(machine.empty() ? std::string("C:/ProgramData") : machine, kProgramFolder);
}

std::vector<std::string> SharedDataFolders(const std::string& executableDirectory) {
  std::vector<std::string> folders;
  if (!executableDirectory.empty()) {
    const std::filesystem::path bin(WideText(executableDirectory));
    folders.push_back(Utf8Text((bin / "share" / kProgramFolder).lexically_normal().wstring()));
    folders.push_back(Utf8Text((bin.parent_path() / "share" / kProgramFolder).lexically_normal().wstring()));
  }
  folders.emplace_back(kInstalledDataFolder);
  return folders;
}

}  // namespace rur
