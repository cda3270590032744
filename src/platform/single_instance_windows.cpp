// SPDX-License-Identifier: GPL-3.0-or-later
// One instance per user session on Windows: a named mutex of the session, which the system lets
// go of when the process ends however it ends. The folder only tells instances of different
// folders apart.
#include <filesystem>

#include "platform/single_instance.h"
#include "platform/windows_text.h"

namespace rur {

SingleInstanceLock::~SingleInstanceLock() { Release(); }

bool SingleInstanceLock::Acquire(const std::string& name, const std::string& folder, std::string& error) {
  if (held()) return true;
  std::wstring instance = WideText(folder + "/" + name);
  for (auto& c : instance)
    if (c == L'\\') c = L'/';  // a backslash would name a namespace
  const std::wstring mutexName = L"Local\\RodeRur.Instance." + instance;
  OwnedHandle mutex(::CreateMutexW(nullptr, FALSE, mutexName.c_str()));
  if (!mutex.valid()) {
    error = "cannot make the instance lock " + name + ": " + SystemErrorText(::GetLastError());
    return false;
  }
  const DWORD result = ::WaitForSingleObject(mutex.get(), 0);
  if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) return false;
  fd_ = HandleToLong(mutex.release());
  return true;
}

void SingleInstanceLock::Release() {
  if (fd_ < 0) return;
  ::ReleaseMutex(LongToHandle(fd_));
  ::CloseHandle(LongToHandle(fd_));
  fd_ = -1;
}

std::string RuntimeDirectory() {
  std::error_code ignored;
  return std::filesystem::temp_directory_path(ignored).string();
}

}  // namespace rur
