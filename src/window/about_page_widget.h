// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About page: the logo, the product name and the version.

#include "window/notebook_page.h"

namespace rur::ui {

class AboutPageWidget : public NotebookPage {
  Q_OBJECT

 public:
  explicit AboutPageWidget(PageHost& host);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace rur::ui
