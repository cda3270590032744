// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/controller_holds.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/lock_holder.h"

namespace rur {
namespace {

constexpr auto kRetryEvery = std::chrono::milliseconds(10);

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
  for (auto& [path, entry] : entries_) ::close(entry.fd);
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
  // One taker at a time: two threads of this process must not wait for each other's flock.
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
  // flock needs no write access; a device node is opened without blocking on a missing medium.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (options.createFile ? O_CREAT | O_NOFOLLOW : 0);
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    attempt.outcome = HoldAttempt::Outcome::Failed;
    attempt.error = "cannot open " + path + ": " + std::strerror(errno);
    return attempt;
  }
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      attempt.outcome = HoldAttempt::Outcome::Failed;
      attempt.error = "cannot lock " + path + ": " + std::strerror(errno);
      ::close(fd);
      return attempt;
    }
    if (std::chrono::steady_clock::now() >= end) {
      attempt.outcome = HoldAttempt::Outcome::Busy;
      attempt.holder = DescribeFlockHolder(path);
      ::close(fd);
      return attempt;
    }
    std::this_thread::sleep_for(kRetryEvery);
  }
  {
    std::lock_guard lock(mutex_);
    entries_[path] = Entry{fd, 1, std::move(options.releasing), me};
  }
  attempt.hold = std::make_unique<class Hold>(*this, path);
  if (options.taken) options.taken();
  return attempt;
}

int ControllerHolds::DuplicateHeld(const std::string& path) {
  std::lock_guard lock(mutex_);
  const auto found = entries_.find(path);
  if (found == entries_.end()) return -1;
  return ::fcntl(found->second.fd, F_DUPFD_CLOEXEC, 0);
}

void ControllerHolds::Release(const std::string& path) {
  std::function<void()> releasing;
  {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(path);
    if (found == entries_.end() || --found->second.count > 0) return;
    releasing = found->second.releasing;
  }
  // Still held while the last work under it (a simulated drive's save) runs.
  if (releasing) releasing();
  std::lock_guard lock(mutex_);
  const auto found = entries_.find(path);
  if (found == entries_.end() || found->second.count > 0) return;
  // Unlocked explicitly: a device handle made from a copy of the descriptor may still be open.
  ::flock(found->second.fd, LOCK_UN);
  ::close(found->second.fd);
  entries_.erase(found);
}

}  // namespace rur
