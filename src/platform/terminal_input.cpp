// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/terminal_input.h"

#include <termios.h>
#include <unistd.h>

namespace rur {
namespace {
termios saved{};
}  // namespace

bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

bool HideTyping() {
  if (!InputIsTerminal() || ::tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  return true;
}

void ShowTyping() { ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved); }

}  // namespace rur
