// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/terminal_input.h"
#include "platform/windows_text.h"

namespace rur {
namespace {
DWORD savedMode = 0;
}  // namespace

bool InputIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

bool HideTyping() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (!::GetConsoleMode(input, &savedMode)) return false;
  ::SetConsoleMode(input, savedMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  return true;
}

void ShowTyping() { ::SetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), savedMode); }

}  // namespace rur
