// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The poll cycle's requests: the refresh of the status and the two SMART passes wait as bits of
// one byte until the dispatcher runs them one at a time, the refresh first. A job that lets the
// window handle events may come back here; a request already running is then not started again.

#include <array>
#include <cstdint>
#include <functional>

#include "monitor/request_flags.h"

namespace rur {

class RequestDispatcher {
 public:
  using Job = std::function<void()>;
  RequestDispatcher(Job refresh, Job smartThresholds, Job smartData);

  void Raise(std::uint8_t requests) { flags_ |= requests; }
  void Drop(std::uint8_t requests) { flags_ &= static_cast<std::uint8_t>(~requests); }
  // Arming the monitor drops whatever else was pending.
  void Arm() { flags_ = MONITOR_ARMED; }
  void Clear() { flags_ = 0; }

  // Runs the first pending request unless it is running already.
  void Dispatch();

  std::uint8_t flags() const { return flags_; }
  std::uint8_t busy() const { return busy_; }
  bool pending() const { return (flags_ & kServedRequests) != 0; }
  bool armed() const { return (flags_ & MONITOR_ARMED) != 0; }

 private:
  struct Served {
    std::uint8_t request;
    Job job;
  };
  std::array<Served, 3> served_;
  std::uint8_t flags_ = 0;
  std::uint8_t busy_ = 0;
};

}  // namespace rur
