// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures of the Upgrade and E-mail pages: action buttons (Load, Upgrade, OK, Ignore, Test), the
// sub-page tabs of the E-mail page in their shown (yellow) and other (white) looks, and the small
// add and remove buttons beside the recipient lists.

#include <QPixmap>
#include <QString>

#include "window/artwork.h"

namespace rur::ui {

enum class ActionLook { Primary, Secondary };
enum class ListAction { Add, Remove };

constexpr int kActionButtonHeight = 28;
constexpr int kTabButtonHeight = 26;
constexpr int kListButtonSide = 22;

QPixmap ActionButtonPicture(const QString& caption, int width, ActionLook look);
QPixmap TabButtonPicture(const QString& caption, int width, ButtonLook look);
QPixmap ListButtonPicture(ListAction action);

}  // namespace rur::ui
