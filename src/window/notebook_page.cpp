// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/notebook_page.h"

#include "window/artwork.h"

namespace rur::ui {

NotebookPage::NotebookPage(const QString& name, PageHost& host) : QWidget(nullptr), host_(host) {
  setObjectName(name);
  setFixedSize(kPageWidth, kPageHeight);
}

QLabel* NotebookPage::AddLabel(const QString& name, const QString& text, QRect geometry, int pixelSize, bool bold) {
  auto* label = new QLabel(text, this);
  label->setObjectName(name);
  // Product names and volume labels come from the device: never read as markup.
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(geometry);
  label->setFont(WindowFont(pixelSize, bold));
  return label;
}

}  // namespace rur::ui
