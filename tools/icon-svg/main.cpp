// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the application icon as an SVG file for the desktop's icon theme, from the same drawing
// the window uses: rur_icon_svg OUTPUT.svg

#include <QGuiApplication>
#include <QPainter>
#include <QSvgGenerator>
#include <iostream>

#include "window/artwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: rur_icon_svg OUTPUT.svg\n";
    return 2;
  }
  // Painting text and paths needs a GUI application, but no screen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  // Drawn on a 48-pixel square, the size whose strokes the drawing was made for, and scaled freely.
  constexpr int kSide = 48;
  QSvgGenerator generator;
  generator.setFileName(QString::fromLocal8Bit(argv[1]));
  generator.setSize(QSize(kSide, kSide));
  generator.setViewBox(QRect(0, 0, kSide, kSide));
  generator.setTitle(QStringLiteral("RODE RUR"));
  generator.setDescription(QStringLiteral("The RODE RUR application icon"));
  QPainter painter;
  if (!painter.begin(&generator)) {
    std::cerr << "rur_icon_svg: cannot write " << argv[1] << '\n';
    return 1;
  }
  rur::ui::DrawApplicationIcon(painter, kSide);
  return painter.end() ? 0 : 1;
}
