// SPDX-License-Identifier: GPL-3.0-or-later
// Holding interruptions on Windows: the console's Ctrl+C and Ctrl+Break (and a closed console
// window, which Windows grants only a few seconds) are answered by a handler that notes them and
// writes the notice instead of ending the process.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>

#include "platform/interruption_hold.h"
#include "platform/windows_text.h"

namespace rur {
namespace {

char noticeText[512];
DWORD noticeLength = 0;
std::atomic<int> lastSignal{0};
std::atomic<bool> holding{false};

// Ctrl+C stands for SIGINT as on a terminal; the other console events end a process as SIGTERM would.
BOOL WINAPI NoteConsoleEvent(DWORD event) {
  lastSignal.store(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), noticeText, noticeLength, &written, nullptr);
  return TRUE;
}

}  // namespace

InterruptionHold::InterruptionHold(const std::string& notice) {
  bool expected = false;
  if (!holding.compare_exchange_strong(expected, true)) return;
  const std::string line = "\n" + notice + "\n";
  noticeLength = static_cast<DWORD>(std::min(line.size(), sizeof noticeText));
  std::memcpy(noticeText, line.data(), noticeLength);
  lastSignal = 0;
  ::SetConsoleCtrlHandler(NoteConsoleEvent, TRUE);
  active_ = true;
}

InterruptionHold::~InterruptionHold() {
  if (!active_) return;
  ::SetConsoleCtrlHandler(NoteConsoleEvent, FALSE);
  holding = false;
}

int InterruptionHold::lastHeldSignal() { return lastSignal.load(); }

}  // namespace rur
