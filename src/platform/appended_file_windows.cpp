// SPDX-License-Identifier: GPL-3.0-or-later
// Appending on Windows: every write lands at the file's end, whoever else writes; never through a
// link. Access follows the folder's inherited permissions, so the mode is not applied.
#include "platform/appended_file.h"
#include "platform/windows_text.h"

namespace rur {
namespace {

bool IsLink(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool AppendWholeLines(const std::string& path, const std::string& text, mode_t, std::string& error) {
  const std::wstring wide = WideText(path);
  if (IsLink(wide)) {
    error = "cannot write " + path + ": it is a symbolic link, which is not followed";
    return false;
  }
  OwnedHandle file(::CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_WRITE_DATA | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    error = "cannot write " + path + ": " + SystemErrorText(::GetLastError());
    return false;
  }
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    error = "cannot write " + path + ": it is not a regular file";
    return false;
  }
  LARGE_INTEGER before{};
  ::GetFileSizeEx(file.get(), &before);
  // A file whose last line was left unended gets its end first, so the first new line is not
  // glued to it.
  std::string whole = text;
  if (before.QuadPart > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>((before.QuadPart - 1) & 0xffffffff);
    at.OffsetHigh = static_cast<DWORD>((before.QuadPart - 1) >> 32);
    char last = '\n';
    DWORD read = 0;
    if (::ReadFile(file.get(), &last, 1, &read, &at) && read == 1) whole = LineEndAfter(last) + text;
  }
  // Appending at the end whatever the position: an offset of all ones means the end of the file.
  OVERLAPPED end{};
  end.Offset = 0xffffffff;
  end.OffsetHigh = 0xffffffff;
  DWORD written = 0;
  const BOOL wrote = ::WriteFile(file.get(), whole.data(), static_cast<DWORD>(whole.size()), &written, &end);
  if (wrote && written == whole.size()) return true;
  error = !wrote ? "cannot write " + path + ": " + SystemErrorText(::GetLastError())
                 : "cannot write " + path + ": the disk is full";
  LARGE_INTEGER after{};
  if (written > 0 && ::GetFileSizeEx(file.get(), &after) && after.QuadPart == before.QuadPart + written) {
    ::SetFilePointerEx(file.get(), before, nullptr, FILE_BEGIN);
    ::SetEndOfFile(file.get());
  }
  return false;
}

FileReadStatus ProbeFile(const std::string& path) {
  if (::GetFileAttributesW(WideText(path).c_str()) != INVALID_FILE_ATTRIBUTES) return FileReadStatus::Ok;
  const DWORD code = ::GetLastError();
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? FileReadStatus::Missing
                                                                      : FileReadStatus::Failed;
}

}  // namespace rur
