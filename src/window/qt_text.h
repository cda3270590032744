// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text between the engine, which keeps UTF-8 in std::string, and Qt's QString.

#include <QString>
#include <QTextDocument>
#include <string>

namespace rur::ui {

inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string Std(const QString& text) { return text.toStdString(); }

// A hint shown as the plain text it is: a product name with "<b>" in it stays as written, and
// line breaks stay. Qt reads hints as markup when they look like it.
inline QString PlainHint(const QString& text) {
  return text.isEmpty() ? text : Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

}  // namespace rur::ui
