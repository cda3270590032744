// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/interruption_hold.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace rur {
namespace {

constexpr std::array<int, 5> kHeldSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

// The handler may only touch what is ready before it runs: a fixed buffer and atomics.
char noticeText[512];
std::size_t noticeLength = 0;
std::atomic<int> lastSignal{0};
std::atomic<bool> holding{false};
std::array<struct sigaction, kHeldSignals.size()> previous{};
struct sigaction previousPipe {};

extern "C" void NoteSignal(int signal) {
  const int saved = errno;
  lastSignal.store(signal);
  // When standard error is gone (a closed terminal) the notice is lost; the run goes on all the same.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, noticeText, noticeLength);
  errno = saved;
}

}  // namespace

InterruptionHold::InterruptionHold(const std::string& notice) {
  bool expected = false;
  if (!holding.compare_exchange_strong(expected, true)) return;
  const std::string line = "\n" + notice + "\n";
  noticeLength = std::min(line.size(), sizeof noticeText);
  std::memcpy(noticeText, line.data(), noticeLength);
  lastSignal = 0;

  struct sigaction held {};
  held.sa_handler = NoteSignal;
  held.sa_flags = SA_RESTART;  // reads and writes of the run go on instead of failing with EINTR
  sigemptyset(&held.sa_mask);
  for (std::size_t i = 0; i < kHeldSignals.size(); ++i) ::sigaction(kHeldSignals[i], &held, &previous[i]);
  struct sigaction ignored {};
  ignored.sa_handler = SIG_IGN;
  sigemptyset(&ignored.sa_mask);
  ::sigaction(SIGPIPE, &ignored, &previousPipe);
  active_ = true;
}

InterruptionHold::~InterruptionHold() {
  if (!active_) return;
  for (std::size_t i = 0; i < kHeldSignals.size(); ++i) ::sigaction(kHeldSignals[i], &previous[i], nullptr);
  ::sigaction(SIGPIPE, &previousPipe, nullptr);
  holding = false;
}

int InterruptionHold::lastHeldSignal() { return lastSignal.load(); }

}  // namespace rur
