// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Work for the bus thread, posted from any thread: replies to calls the engine has answered, job
// progress, signals. The bus connection is touched by its own thread only; the mailbox's
// descriptor wakes that thread's poll when something arrives.

#include <functional>
#include <mutex>
#include <vector>

namespace rur::service {

class BusMailbox {
 public:
  BusMailbox();
  ~BusMailbox();
  BusMailbox(const BusMailbox&) = delete;
  BusMailbox& operator=(const BusMailbox&) = delete;

  // Any thread: `work` runs on the bus thread at its next turn.
  void Post(std::function<void()> work);
  // The descriptor to poll for input: readable while work waits.
  int descriptor() const { return eventFd_; }
  // The bus thread: runs what was posted, in order.
  void RunPosted();

 private:
  int eventFd_ = -1;
  std::mutex mutex_;
  std::vector<std::function<void()>> posted_;
};

}  // namespace rur::service
