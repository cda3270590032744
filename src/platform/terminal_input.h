// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The standard input as a terminal: whether someone types there, and typing that is not shown
// (a password).

namespace rur {

bool InputIsTerminal();
// Turns the terminal's echo off; false when the input is no terminal (then nothing changed).
bool HideTyping();
// Brings the echo back after HideTyping.
void ShowTyping();

}  // namespace rur
