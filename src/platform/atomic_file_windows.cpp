// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reads and crash-safe saves on Windows: a temporary file next to the target, flushed,
// then moved over it with write-through. Access follows the folder's inherited permissions, so the
// mode is not applied.
#include <filesystem>
#include <random>

#include "platform/atomic_file.h"
#include "platform/windows_text.h"

namespace rur {

static BeforeRenameHook beforeRenameHook = nullptr;

void SetBeforeRenameHookForTests(BeforeRenameHook hook) { beforeRenameHook = hook; }

mode_t CurrentUmask() { return 0; }

static bool IsLink(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FileReadStatus ReadWholeFile(const std::string& path, std::string& contents, std::string& error) {
  contents.clear();
  const std::wstring wide = WideText(path);
  if (IsLink(wide)) {
    error = "cannot read " + path + ": it is a symbolic link, which is not followed";
    return FileReadStatus::Failed;
  }
  OwnedHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return FileReadStatus::Missing;
    error = "cannot read " + path + ": " + SystemErrorText(code);
    return FileReadStatus::Failed;
  }
  char buffer[8192];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) {
      error = "cannot read " + path + ": " + SystemErrorText(::GetLastError());
      return FileReadStatus::Failed;
    }
    if (n == 0) break;
    contents.append(buffer, n);
  }
  return FileReadStatus::Ok;
}

// The move is made with write-through: there is no folder to flush afterwards.
bool SyncFolderOf(const std::string&, const std::string&, std::string&) { return true; }

bool WriteFileAtomically(const std::string& path, const std::string& contents, mode_t, std::string& error,
                         FileModeUse) {
  const std::wstring wide = WideText(path);
  const DWORD existing = ::GetFileAttributesW(wide.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if ((existing & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      error = "cannot write " + path + ": it is a symbolic link, which is not followed";
      return false;
    }
    if ((existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      error = "cannot write " + path + ": it exists and is not a regular file";
      return false;
    }
  }
  static thread_local std::mt19937 random{std::random_device{}()};
  const std::wstring temporary = wide + L"." + std::to_wstring(random() % 1000000) + L".tmp";
  OwnedHandle file(
      ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    error = "cannot write " + path + ": " + SystemErrorText(::GetLastError());
    return false;
  }
  DWORD failure = 0;
  std::size_t done = 0;
  while (failure == 0 && done < contents.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - done, 1u << 20));
    if (!::WriteFile(file.get(), contents.data() + done, chunk, &n, nullptr)) failure = ::GetLastError();
    done += n;
  }
  if (failure == 0 && !::FlushFileBuffers(file.get())) failure = ::GetLastError();
  file.reset();
  if (failure == 0 && beforeRenameHook && !beforeRenameHook(Utf8Text(temporary))) {
    error = "cannot write " + path + ": interrupted before the rename";
    return false;
  }
  if (failure == 0 &&
      !::MoveFileExW(temporary.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    failure = ::GetLastError();
  if (failure != 0) {
    error = "cannot write " + path + ": " + SystemErrorText(failure);
    ::DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

bool MakeFolders(const std::string& folder, mode_t, std::string& error) {
  std::error_code code;
  std::filesystem::create_directories(std::filesystem::path(WideText(folder)), code);
  if (code) {
    error = "cannot create folder " + folder + ": " + code.message();
    return false;
  }
  return true;
}

bool RemoveFileIfPresent(const std::string& path, std::string& error) {
  if (::DeleteFileW(WideText(path).c_str())) return true;
  const DWORD code = ::GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
  error = "cannot delete " + path + ": " + SystemErrorText(code);
  return false;
}

}  // namespace rur
