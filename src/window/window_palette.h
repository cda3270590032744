// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window draws its own light colours throughout: its cards, pictures and buttons are drawn in
// light colours, so its text, fields and tables take the matching colours too, whatever the
// desktop's theme (a dark theme would otherwise give light text on the light cards).

#include <QPalette>

class QWidget;

namespace rur::ui {

QPalette WindowPalette();
// Gives a window of the program (the main window, the log viewer, a message box) that palette.
void UseWindowPalette(QWidget* window);

}  // namespace rur::ui
