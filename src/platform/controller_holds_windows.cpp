// SPDX-License-Identifier: GPL-3.0-or-later
// The controller holds on Windows. A drive (\\.\PhysicalDriveN) is held with a named mutex, one
// per drive, which every process of the program takes; the system lets go of it
// when the holder ends. A simulated drive's lock file is held with a byte-range lock instead,
// which, unlike a mutex, may be let go by another thread than the one that took it.
#include <chrono>
#include <thread>

#include "platform/controller_holds.h"
#include "platform/lock_holder.h"
#include "platform/windows_text.h"

namespace rur {
namespace {

constexpr auto kRetryEvery = std::chrono::milliseconds(10);
constexpr const char* kDevicePrefix = "\\\\.\\";
constexpr const wchar_t* kMutexPrefix = L"RodeRur.Controller.";

bool IsDevicePath(const std::string& path) { return path.rfind(kDevicePrefix, 0) == 0; }

// The mutex's name: the drive's name without the device prefix (names may not hold backslashes).
std::wstring MutexName(const std::string& path) {
  std::wstring name = WideText(path.substr(std::char_traits<char>::length(kDevicePrefix)));
  for (auto& c : name)
    if (c == L'\\') c = L'_';
  return kMutexPrefix + name;
}

// Tries once; true when taken, false with `busy` or an error.
bool TryTake(HANDLE handle, bool device, bool& busy, DWORD& code) {
  busy = false;
  if (device) {
    const DWORD result = ::WaitForSingleObject(handle, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return true;  // abandoned: its holder ended
    busy = result == WAIT_TIMEOUT;
    code = ::GetLastError();
    return false;
  }
  OVERLAPPED whole{};
  if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole))
    return true;
  code = ::GetLastError();
  busy = code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING;
  return false;
}

void LetGo(HANDLE handle, bool device) {
  if (device) {
    ::ReleaseMutex(handle);
  } else {
    OVERLAPPED whole{};
    ::UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
  }
  ::CloseHandle(handle);
}

}  // namespace

class ControllerHolds::Hold final : public ControllerHold {
 public:
  Hold(ControllerHolds& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
  ~Hold() override { owner_.Release(path_); }

 private:
  ControllerHolds& owner_;
  std::string path_;
};

ControllerHolds::~ControllerHolds() {
  for (auto& [path, entry] : entries_) LetGo(LongToHandle(entry.fd), IsDevicePath(path));
}

HoldAttempt ControllerHolds::Hold(const std::string& path, std::uint32_t waitMs, HoldOptions options) {
  HoldAttempt attempt;
  const auto me = std::this_thread::get_id();
  {
    std::lock_guard lock(mutex_);
    if (auto found = entries_.find(path); found != entries_.end() && found->second.owner == me) {
      ++found->second.count;
      attempt.hold = std::make_unique<class Hold>(*this, path);
      return attempt;
    }
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  std::lock_guard taking(taking_);
  // Another thread of this process holds the drive: its commands are not to be interleaved with
  // ours, so it is waited for as another process would be.
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (entries_.find(path) == entries_.end()) break;
    }
    if (std::chrono::steady_clock::now() >= end) {
      attempt.outcome = HoldAttempt::Outcome::Busy;
      attempt.holder = "another task of this program";
      return attempt;
    }
    std::this_thread::sleep_for(kRetryEvery);
  }
  const bool device = IsDevicePath(path);
  OwnedHandle handle(
      device
          ? OpenSharedMutex(MutexName(path))
          : ::CreateFileW(WideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, options.createFile ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.valid()) {
    attempt.outcome = HoldAttempt::Outcome::Failed;
    attempt.error = "cannot open " + path + ": " + SystemErrorText(::GetLastError());
    return attempt;
  }
  for (;;) {
    bool busy = false;
    DWORD code = 0;
    if (TryTake(handle.get(), device, busy, code)) break;
    if (!busy) {
      attempt.outcome = HoldAttempt::Outcome::Failed;
      attempt.error = "cannot lock " + path + ": " + SystemErrorText(code);
      return attempt;
    }
    if (std::chrono::steady_clock::now() >= end) {
      attempt.outcome = HoldAttempt::Outcome::Busy;
      attempt.holder = DescribeFlockHolder(path);
      return attempt;
    }
    std::this_thread::sleep_for(kRetryEvery);
  }
  {
    std::lock_guard lock(mutex_);
    // Kernel handles fit in 32 bits, which is what the descriptor field holds.
    entries_[path] = Entry{HandleToLong(handle.release()), 1, std::move(options.releasing), me};
  }
  attempt.hold = std::make_unique<class Hold>(*this, path);
  if (options.taken) options.taken();
  return attempt;
}

// Windows devices are opened on their own, never from the held handle.
int ControllerHolds::DuplicateHeld(const std::string&) { return -1; }

void ControllerHolds::Release(const std::string& path) {
  std::function<void()> releasing;
  {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(path);
    if (found == entries_.end() || --found->second.count > 0) return;
    releasing = found->second.releasing;
  }
  if (releasing) releasing();
  std::lock_guard lock(mutex_);
  const auto found = entries_.find(path);
  if (found == entries_.end() || found->second.count > 0) return;
  LetGo(LongToHandle(found->second.fd), IsDevicePath(path));
  entries_.erase(found);
}

}  // namespace rur
