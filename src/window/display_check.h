// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Before the window system is started: whether the display the window would open on can be
// reached. Qt ends the process with an abort and a long plugin message when it cannot open its
// display; the program looks first and says so in one line instead.

#include <optional>
#include <string>
#include <vector>

namespace rur::ui {

// The platform and X display the window will use: the -platform and -display options among args
// (the program's arguments without its name), else QT_QPA_PLATFORM and DISPLAY.
struct WindowSystemChoice {
  std::string platform;  // empty: Qt's default
  std::string display;   // the X display, empty when none is named
};
WindowSystemChoice ChooseWindowSystem(const std::vector<std::string>& args);

// Why the window cannot be opened ("cannot open display :97"), or nothing when it can or when only
// Qt itself can tell (another platform than X, or the X client library is missing).
std::optional<std::string> DisplayProblem(const WindowSystemChoice& choice);

// From here until StartupFinished, a failure of Qt to start its platform ends the process with
// status 1 and one line naming the platform, and Qt's start-up warnings are held back: they are
// printed only when the start succeeds.
void GuardPlatformStartup(const WindowSystemChoice& choice);
void StartupFinished();

}  // namespace rur::ui
