// SPDX-License-Identifier: GPL-3.0-or-later
// New files on Windows: the temporary file is created exclusively and flushed; the move to the
// final name is asked not to replace, so a taken name fails with "already exists".
#include <random>

#include "platform/new_file.h"
#include "platform/windows_text.h"

namespace rur {

std::optional<std::string> WriteTemporaryFile(const std::filesystem::path& folder, const std::string& name,
                                              const std::uint8_t* data, std::size_t length) {
  static thread_local std::mt19937 random{std::random_device{}()};
  const std::wstring temporary =
      (folder / WideText("." + name + "." + std::to_string(random() % 1000000) + ".tmp")).wstring();
  OwnedHandle file(
      ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::nullopt;
  bool ok = true;
  while (ok && length > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 20));
    ok = ::WriteFile(file.get(), data, chunk, &written, nullptr) != FALSE;
    data += written;
    length -= written;
  }
  ok = ok && ::FlushFileBuffers(file.get());
  file.reset();
  if (!ok) {
    ::DeleteFileW(temporary.c_str());
    return std::nullopt;
  }
  return Utf8Text(temporary);
}

NewFilePublish PublishWithoutReplacing(const std::string& temporary, const std::filesystem::path& path) {
  if (::MoveFileExW(WideText(temporary).c_str(), path.wstring().c_str(), MOVEFILE_WRITE_THROUGH))
    return NewFilePublish::Done;
  const DWORD code = ::GetLastError();
  return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? NewFilePublish::NameTaken : NewFilePublish::Failed;
}

// The move was written through already.
void SyncFolder(const std::filesystem::path&) {}

}  // namespace rur
