// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text between the program (UTF-8 everywhere) and the Windows calls (UTF-16), and the system's own
// words for an error. Only the Windows forms of the platform include this.

#include <windows.h>

#include <string>

namespace rur {

std::wstring WideText(const std::string& text);
std::string Utf8Text(const std::wstring& text);
// "the system's message (code N)" for a GetLastError value.
std::string SystemErrorText(DWORD code);

// A named mutex seen by every session (a service runs in a session of its own), or, where this
// user may not make one there, by this session's programs. Null on failure.
HANDLE OpenSharedMutex(const std::wstring& name);

// A kernel handle closed when it goes out of scope.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~OwnedHandle() { reset(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (valid()) ::CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

}  // namespace rur
