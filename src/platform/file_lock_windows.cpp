// SPDX-License-Identifier: GPL-3.0-or-later
// The lock of a shared file on Windows: a byte-range lock on the lock file, which the system
// lets go when the process ends, as with flock.
#include <chrono>
#include <thread>

#include "platform/file_lock.h"
#include "platform/windows_text.h"

namespace rur {

FileLock::~FileLock() {
  const HANDLE file = LongToHandle(fd_);
  OVERLAPPED whole{};
  ::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
  ::CloseHandle(file);
}

std::unique_ptr<FileLock> FileLock::Acquire(const std::string& path, unsigned waitMs, std::string& error) {
  OwnedHandle file(::CreateFileW(WideText(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    error = "cannot open the lock file " + path + ": " + SystemErrorText(::GetLastError());
    return nullptr;
  }
  constexpr auto kPoll = std::chrono::milliseconds(5);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    OVERLAPPED whole{};
    if (::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
      // Kernel handles fit in 32 bits, which is what the descriptor field holds.
      return std::unique_ptr<FileLock>(new FileLock(HandleToLong(file.release())));
    }
    const DWORD code = ::GetLastError();
    if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
      error = "cannot lock " + path + ": " + SystemErrorText(code);
      return nullptr;
    }
    if (std::chrono::steady_clock::now() >= end) {
      error = "another program kept " + path + " locked";
      return nullptr;
    }
    std::this_thread::sleep_for(kPoll);
  }
}

}  // namespace rur
