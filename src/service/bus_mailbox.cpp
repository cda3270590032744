// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/bus_mailbox.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace rur::service {

BusMailbox::BusMailbox() : eventFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

BusMailbox::~BusMailbox() {
  if (eventFd_ >= 0) ::close(eventFd_);
}

void BusMailbox::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(work));
  }
  const std::uint64_t one = 1;
  // A full counter still wakes the reader; nothing is lost when the write fails.
  [[maybe_unused]] const ssize_t written = ::write(eventFd_, &one, sizeof one);
}

void BusMailbox::RunPosted() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(eventFd_, &count, sizeof count);
  std::vector<std::function<void()>> work;
  {
    std::lock_guard lock(mutex_);
    work.swap(posted_);
  }
  for (auto& item : work) item();
}

}  // namespace rur::service
