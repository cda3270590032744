// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/artwork.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace rur::ui {
namespace {

using namespace colours;

const QColor kOnYellow{0x3B, 0x2A, 0x00};
const QColor kGlyphWellWhite{0xE6, 0xF2, 0xF5};

QPainter& Prepare(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  return painter;
}

QPixmap Blank(int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// The rounded face every clickable picture shares: a warm gradient when selected, a white card
// with a hairline border otherwise.
void DrawFace(QPainter& painter, const QRectF& rect, ButtonLook look, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -1.5), radius, radius);
  // A soft shadow under the face lifts it off the page.
  painter.save();
  painter.translate(0, 1);
  painter.fillPath(path, QColor(0x10, 0x20, 0x30, 28));
  painter.restore();
  if (look == ButtonLook::Yellow) {
    QLinearGradient fill(rect.topLeft(), rect.bottomLeft());
    fill.setColorAt(0, QColor(0xFF, 0xDC, 0x66));
    fill.setColorAt(1, kAmber);
    painter.fillPath(path, fill);
    painter.setPen(QPen(kAmberDeep, 1));
  } else {
    painter.fillPath(path, Qt::white);
    painter.setPen(QPen(kLine, 1));
  }
  painter.drawPath(path);
}

void DrawGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& colour) {
  painter.save();
  QPen pen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  const qreal w = box.width();
  const qreal h = box.height();
  const QPointF o = box.topLeft();
  auto at = [&](qreal fx, qreal fy) { return QPointF(o.x() + fx * w, o.y() + fy * h); };
  switch (glyph) {
    case Glyph::Status:
    case Glyph::Disk: {
      // Two stacked drive bays with their activity lights.
      for (qreal top : {0.18, 0.56}) {
        const QRectF bay(at(0.08, top), QSizeF(0.84 * w, 0.28 * h));
        painter.drawRoundedRect(bay, 2.5, 2.5);
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QPointF(bay.right() - 0.16 * w, bay.center().y()), 1.5, 1.5);
        painter.restore();
      }
      break;
    }
    case Glyph::Setup: {
      painter.drawEllipse(QRectF(at(0.12, 0.12), QSizeF(0.76 * w, 0.76 * h)));
      painter.drawLine(at(0.5, 0.5), at(0.5, 0.26));
      painter.drawLine(at(0.5, 0.5), at(0.68, 0.6));
      break;
    }
    case Glyph::Upgrade: {
      // A chip with its pins and an arrow pointing up.
      const QRectF chip(at(0.2, 0.2), QSizeF(0.6 * w, 0.6 * h));
      painter.drawRoundedRect(chip, 2.5, 2.5);
      for (qreal f : {0.35, 0.5, 0.65}) {
        painter.drawLine(at(f, 0.06), at(f, 0.2));
        painter.drawLine(at(f, 0.8), at(f, 0.94));
        painter.drawLine(at(0.06, f), at(0.2, f));
        painter.drawLine(at(0.8, f), at(0.94, f));
      }
      painter.drawLine(at(0.5, 0.68), at(0.5, 0.33));
      painter.drawPolyline(QPolygonF({at(0.38, 0.45), at(0.5, 0.33), at(0.62, 0.45)}));
      break;
    }
    case Glyph::Email: {
      const QRectF envelope(at(0.08, 0.22), QSizeF(0.84 * w, 0.56 * h));
      painter.drawRoundedRect(envelope, 2.5, 2.5);
      painter.drawPolyline(QPolygonF({at(0.1, 0.26), at(0.5, 0.56), at(0.9, 0.26)}));
      break;
    }
    case Glyph::Smart: {
      // A heartbeat across a rounded frame: the health of the disks.
      painter.drawRoundedRect(QRectF(at(0.08, 0.14), QSizeF(0.84 * w, 0.72 * h)), 4, 4);
      painter.drawPolyline(
          QPolygonF({at(0.16, 0.54), at(0.34, 0.54), at(0.44, 0.3), at(0.56, 0.74), at(0.66, 0.48), at(0.84, 0.48)}));
      break;
    }
    case Glyph::About: {
      painter.drawEllipse(QRectF(at(0.1, 0.1), QSizeF(0.8 * w, 0.8 * h)));
      painter.drawLine(at(0.5, 0.46), at(0.5, 0.7));
      painter.save();
      painter.setPen(Qt::NoPen);
      painter.setBrush(colour);
      painter.drawEllipse(at(0.5, 0.32), 1.5, 1.5);
      painter.restore();
      break;
    }
    case Glyph::Fan: {
      // Three blades around a hub.
      painter.drawEllipse(QRectF(at(0.06, 0.06), QSizeF(0.88 * w, 0.88 * h)));
      for (int blade = 0; blade < 3; ++blade) {
        painter.save();
        painter.translate(at(0.5, 0.5));
        painter.rotate(120.0 * blade);
        QPainterPath path;
        path.moveTo(0, 0);
        path.cubicTo(0.05 * w, -0.3 * h, 0.28 * w, -0.32 * h, 0.2 * w, -0.08 * h);
        path.closeSubpath();
        painter.setBrush(colour);
        painter.drawPath(path);
        painter.restore();
      }
      break;
    }
    case Glyph::Thermometer: {
      painter.drawRoundedRect(QRectF(at(0.4, 0.06), QSizeF(0.2 * w, 0.6 * h)), 0.1 * w, 0.1 * w);
      painter.setBrush(colour);
      painter.drawEllipse(QRectF(at(0.3, 0.6), QSizeF(0.4 * w, 0.34 * h)));
      painter.drawLine(at(0.5, 0.62), at(0.5, 0.3));
      break;
    }
    case Glyph::Log: {
      const QRectF sheet(at(0.2, 0.08), QSizeF(0.6 * w, 0.84 * h));
      painter.drawRoundedRect(sheet, 2, 2);
      for (qreal f : {0.32, 0.5, 0.68}) painter.drawLine(at(0.32, f), at(0.68, f));
      break;
    }
  }
  painter.restore();
}

}  // namespace

QFont WindowFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

void SetTextColour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::Active, QPalette::WindowText, colour);
  palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
  label->setPalette(palette);
}

QPixmap NavigationPicture(const QString& caption, Glyph glyph, ButtonLook look) {
  QPixmap pixmap = Blank(kNavigationWidth, kNavigationHeight);
  QPainter painter(&pixmap);
  Prepare(painter);
  const QRectF face(0, 0, kNavigationWidth, kNavigationHeight);
  DrawFace(painter, face, look, 9);
  const bool selected = look == ButtonLook::Yellow;

  const QRectF well(9, 7, 28, 28);
  painter.setPen(Qt::NoPen);
  painter.setBrush(selected ? QColor(255, 255, 255, 150) : kGlyphWellWhite);
  painter.drawEllipse(well);
  DrawGlyph(painter, glyph, well.adjusted(6, 6, -6, -6), selected ? kNight : kTeal);

  painter.setFont(WindowFont(14, true));
  painter.setPen(selected ? kOnYellow : kInk);
  painter.drawText(QRectF(46, 0, kNavigationWidth - 66, kNavigationHeight - 2), Qt::AlignVCenter | Qt::AlignLeft,
                   caption);
  if (selected) {
    // A small pointer towards the page the button shows.
    painter.setPen(QPen(kOnYellow, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const qreal x = kNavigationWidth - 18;
    const qreal y = kNavigationHeight / 2.0 - 1;
    painter.drawPolyline(QPolygonF({QPointF(x - 3, y - 5), QPointF(x + 2, y), QPointF(x - 3, y + 5)}));
  }
  return pixmap;
}

QPixmap DeviceButtonPicture(const QString& caption, ButtonLook look) {
  QPixmap pixmap = Blank(kDeviceButtonWidth, kDeviceButtonHeight);
  QPainter painter(&pixmap);
  Prepare(painter);
  const bool selected = look == ButtonLook::Yellow;
  DrawFace(painter, QRectF(0, 0, kDeviceButtonWidth, kDeviceButtonHeight), look, 7);
  DrawGlyph(painter, Glyph::Disk, QRectF(8, 6, 15, 15), selected ? kNight : kTeal);
  painter.setFont(WindowFont(12, true));
  painter.setPen(selected ? kOnYellow : kInk);
  painter.drawText(QRectF(27, 0, kDeviceButtonWidth - 31, kDeviceButtonHeight - 2), Qt::AlignCenter, caption);
  return pixmap;
}

DeviceButtonPictures DrawDeviceButtons() {
  DeviceButtonPictures pictures;
  const std::array<QString, 2> captions{QStringLiteral("Device1"), QStringLiteral("Device2")};
  for (std::size_t i = 0; i < captions.size(); ++i) {
    pictures.yellow[i] = DeviceButtonPicture(captions[i], ButtonLook::Yellow);
    pictures.white[i] = DeviceButtonPicture(captions[i], ButtonLook::White);
  }
  return pictures;
}

QPixmap BayButtonPicture(const QString& caption, ButtonLook look) {
  QPixmap pixmap = Blank(kBayButtonWidth, kBayButtonHeight);
  QPainter painter(&pixmap);
  Prepare(painter);
  DrawFace(painter, QRectF(0, 0, kBayButtonWidth, kBayButtonHeight), look, 7);
  painter.setFont(WindowFont(12, true));
  painter.setPen(look == ButtonLook::Yellow ? kOnYellow : kInk);
  painter.drawText(QRectF(0, 0, kBayButtonWidth, kBayButtonHeight - 2), Qt::AlignCenter, caption);
  return pixmap;
}

QPixmap LogButtonPicture() {
  QPixmap pixmap = Blank(kLogButtonWidth, kLogButtonHeight);
  QPainter painter(&pixmap);
  Prepare(painter);
  QPainterPath path;
  path.addRoundedRect(QRectF(0.5, 0.5, kLogButtonWidth - 1, kLogButtonHeight - 2), 7, 7);
  painter.save();
  painter.translate(0, 1);
  painter.fillPath(path, QColor(0x10, 0x20, 0x30, 40));
  painter.restore();
  QLinearGradient fill(0, 0, 0, kLogButtonHeight);
  fill.setColorAt(0, kTeal.lighter(115));
  fill.setColorAt(1, kTeal);
  painter.fillPath(path, fill);
  DrawGlyph(painter, Glyph::Log, QRectF(8, 5, 16, 16), Qt::white);
  painter.setFont(WindowFont(12, true));
  painter.setPen(Qt::white);
  painter.drawText(QRectF(26, 0, kLogButtonWidth - 30, kLogButtonHeight - 2), Qt::AlignCenter,
                   QStringLiteral("Event Log"));
  return pixmap;
}

QPixmap GlyphPicture(Glyph glyph, int side, const QColor& colour) {
  QPixmap pixmap = Blank(side, side);
  QPainter painter(&pixmap);
  Prepare(painter);
  DrawGlyph(painter, glyph, QRectF(1, 1, side - 2, side - 2), colour);
  return pixmap;
}

QPixmap LogoPicture() {
  QPixmap pixmap = Blank(kLogoWidth, kLogoHeight);
  QPainter painter(&pixmap);
  Prepare(painter);
  QPainterPath badge;
  badge.addRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
  QLinearGradient fill(0, 0, 30, 30);
  fill.setColorAt(0, kNight);
  fill.setColorAt(1, kTeal);
  painter.fillPath(badge, fill);
  DrawGlyph(painter, Glyph::Disk, QRectF(7, 7, 18, 18), Qt::white);
  painter.setFont(WindowFont(20, true));
  painter.setPen(kNight);
  const QRectF words(38, 0, kLogoWidth - 38, kLogoHeight);
  painter.drawText(words, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("RODE"));
  const int rodeWidth = painter.fontMetrics().horizontalAdvance(QStringLiteral("RODE "));
  painter.setPen(kTeal);
  painter.drawText(words.adjusted(rodeWidth, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("RUR"));
  return pixmap;
}

QPixmap BackgroundPicture(BackgroundKind kind, QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::white);
  QPainter painter(&pixmap);
  Prepare(painter);
  constexpr int kHeader = 60;
  constexpr int kSidebarWidth = 184;

  QColor from = kNight;
  QColor to = kTeal;
  if (kind == BackgroundKind::HyBrid) to = QColor(0x5B, 0x4B, 0x9A);
  if (kind == BackgroundKind::Oem) to = QColor(0x4A, 0x55, 0x66);
  QLinearGradient band(0, 0, size.width(), 0);
  band.setColorAt(0, from);
  band.setColorAt(1, to);
  painter.fillRect(QRect(0, 0, size.width(), kHeader), band);
  // Quiet rings on the right of the band, like platters seen from above.
  painter.setPen(QPen(QColor(255, 255, 255, 26), 10));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QPointF(size.width() - 70, 18), 64, 64);
  painter.drawEllipse(QPointF(size.width() - 70, 18), 30, 30);
  painter.setPen(QPen(QColor(255, 255, 255, 18), 6));
  painter.drawEllipse(QPointF(size.width() - 190, 70), 46, 46);

  const QRectF badge(22, 14, 32, 32);
  QPainterPath badgePath;
  badgePath.addRoundedRect(badge, 8, 8);
  painter.fillPath(badgePath, QColor(255, 255, 255, 40));
  DrawGlyph(painter, Glyph::Disk, badge.adjusted(7, 7, -7, -7), Qt::white);
  painter.setFont(WindowFont(21, true));
  painter.setPen(Qt::white);
  painter.drawText(QRectF(66, 8, 300, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("RODE RUR"));
  painter.setFont(WindowFont(11));
  painter.setPen(QColor(0xBF, 0xE6, 0xF0));
  painter.drawText(QRectF(67, 33, 300, 18), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("ZURA Zozavoveze Zivezeza"));

  painter.fillRect(QRect(0, kHeader, kSidebarWidth, size.height() - kHeader), kSidebar);
  painter.setPen(QPen(kLine, 1));
  painter.drawLine(QPointF(kSidebarWidth - 0.5, kHeader), QPointF(kSidebarWidth - 0.5, size.height()));

  // The card the pages sit on.
  const QRectF card(181.5, 68.5, 426, 332);
  QPainterPath cardPath;
  cardPath.addRoundedRect(card, 10, 10);
  painter.save();
  painter.translate(0, 2);
  painter.fillPath(cardPath, QColor(0x10, 0x20, 0x30, 14));
  painter.restore();
  painter.fillPath(cardPath, Qt::white);
  painter.setPen(QPen(kLine, 1));
  painter.drawPath(cardPath);
  return pixmap;
}

void DrawApplicationIcon(QPainter& painter, int side) {
  Prepare(painter);
  QPainterPath path;
  const qreal inset = side / 16.0;
  path.addRoundedRect(QRectF(inset, inset, side - 2 * inset, side - 2 * inset), side / 5.0, side / 5.0);
  QLinearGradient fill(0, 0, side, side);
  fill.setColorAt(0, kNight);
  fill.setColorAt(1, kTeal);
  painter.fillPath(path, fill);
  DrawGlyph(painter, Glyph::Disk, QRectF(side * 0.22, side * 0.22, side * 0.56, side * 0.56), Qt::white);
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int side : {16, 32, 48, 64, 128}) {
    QPixmap pixmap = Blank(side, side);
    QPainter painter(&pixmap);
    DrawApplicationIcon(painter, side);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace rur::ui
