// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/read_only_file.h"
#include "platform/windows_text.h"

namespace rur {

int OpenRegularFileForReading(const std::string& path, std::uint64_t& size, std::string& error) {
  error.clear();
  const DWORD attributes = ::GetFileAttributesW(WideText(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = "it is a folder";
    return -1;
  }
  const HANDLE file = ::CreateFileW(WideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = ::GetLastError() == ERROR_FILE_NOT_FOUND ? "No such file or directory" : "it cannot be opened";
    return -1;
  }
  LARGE_INTEGER length{};
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &length)) {
    error = "it is not a regular file";
    ::CloseHandle(file);
    return -1;
  }
  size = static_cast<std::uint64_t>(length.QuadPart);
  // Kernel handles fit in 32 bits, which is what the caller keeps.
  return static_cast<int>(HandleToLong(file));
}

std::size_t ReadFileAt(int file, std::uint64_t offset, std::uint8_t* out, std::size_t count) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!::ReadFile(LongToHandle(file), out, static_cast<DWORD>(count), &got, &at)) return 0;
  return got;
}

void CloseReadOnlyFile(int file) { ::CloseHandle(LongToHandle(file)); }

}  // namespace rur
