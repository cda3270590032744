// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text between the engine, which keeps UTF-8 in std::string, and Qt's QString.

#include <QString>
#include <string>

namespace rur::ui {

inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string Std(const QString& text) { return text.toStdString(); }

}  // namespace rur::ui
