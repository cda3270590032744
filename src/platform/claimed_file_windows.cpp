// SPDX-License-Identifier: GPL-3.0-or-later
// The claim on Windows: an exclusive byte-range lock on the open file, which the system lets go
// when the process ends, as with flock.
#include "platform/atomic_file.h"
#include "platform/claimed_file.h"
#include "platform/windows_text.h"

namespace rur {

ClaimOutcome ClaimedFile::Claim(const std::string& path, std::string& contents, std::string& error) {
  Release();
  contents.clear();
  OwnedHandle file(::CreateFileW(WideText(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return ClaimOutcome::Gone;
    error = "cannot open " + path + ": " + SystemErrorText(code);
    return ClaimOutcome::Failed;
  }
  OVERLAPPED whole{};
  if (!::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) return ClaimOutcome::HeldElsewhere;
    error = "cannot lock " + path + ": " + SystemErrorText(code);
    return ClaimOutcome::Failed;
  }
  char buffer[8192];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) {
      error = "cannot read " + path + ": " + SystemErrorText(::GetLastError());
      return ClaimOutcome::Failed;
    }
    if (n == 0) break;
    contents.append(buffer, n);
  }
  handle_ = HandleToLong(file.release());
  return ClaimOutcome::Claimed;
}

void ClaimedFile::Release() {
  if (handle_ == kNone) return;
  ::CloseHandle(LongToHandle(handle_));
  handle_ = kNone;
}

}  // namespace rur
