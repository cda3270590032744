// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/about_page_widget.h"

#include <QLabel>
#include <QPainter>

#include "platform/branding.h"
#include "window/artwork.h"

namespace rur::ui {

AboutPageWidget::AboutPageWidget(PageHost& host) : NotebookPage(QStringLiteral("AboutPage"), host) {
  auto* name = new QLabel(QStringLiteral("ZURA Zozavoveze Zivezeza"), this);
  name->setObjectName(QStringLiteral("Label63"));
  name->setFont(WindowFont(13, true));
  name->setGeometry(96, 48, 300, 18);

  auto* versionCaption = new QLabel(QStringLiteral("Version : "), this);
  versionCaption->setObjectName(QStringLiteral("Label64"));
  versionCaption->setGeometry(136, 88, 64, 18);

  auto* version = new QLabel(QString::fromUtf8(VersionText.data(), static_cast<int>(VersionText.size())), this);
  version->setObjectName(QStringLiteral("Label65"));
  version->setFont(WindowFont(13, true));
  SetTextColour(version, QColor(0x00, 0x00, 0xFF));
  version->setGeometry(200, 88, 120, 18);

  auto* logo = new QLabel(this);
  logo->setObjectName(QStringLiteral("Image4_Logo"));
  logo->setPixmap(LogoPicture());
  logo->setGeometry(96, 224, kLogoWidth, kLogoHeight);
}

void AboutPageWidget::paintEvent(QPaintEvent* /*event*/) {
  // A hairline under the product name and one above the logo frame the text.
  QPainter painter(this);
  painter.setPen(QPen(colours::kLine, 1));
  painter.drawLine(96, 74, 321, 74);
  painter.drawLine(96, 212, 321, 212);
}

}  // namespace rur::ui
