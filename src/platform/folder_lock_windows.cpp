// SPDX-License-Identifier: GPL-3.0-or-later
// On Windows the folder is locked through a named mutex named after it (a folder
// cannot be locked itself); the files inherit the folder's access rights, so none is reported as
// readable by others.
#include <cwctype>

#include "platform/folder_lock.h"
#include "platform/windows_text.h"

namespace rur {

FolderLock::FolderLock(const std::string& folder) {
  std::wstring name = WideText(folder);
  for (auto& c : name) c = c == L'\\' ? L'/' : static_cast<wchar_t>(std::towlower(c));
  const HANDLE mutex = OpenSharedMutex(L"RodeRur.Folder." + name);
  if (mutex == nullptr) return;
  ::WaitForSingleObject(mutex, INFINITE);
  fd_ = static_cast<int>(HandleToLong(mutex));
}

FolderLock::~FolderLock() {
  if (fd_ < 0) return;
  ::ReleaseMutex(LongToHandle(fd_));
  ::CloseHandle(LongToHandle(fd_));
}

bool ReadableByOthers(const std::string&) { return false; }

}  // namespace rur
