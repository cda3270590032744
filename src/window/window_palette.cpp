// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/window_palette.h"

#include <QWidget>

#include "window/artwork.h"

namespace rur::ui {
namespace {

const QColor kFieldBackground{0xFF, 0xFF, 0xFF};
const QColor kAlternateRow{0xF7, 0xF9, 0xFB};
const QColor kButtonFace{0xEE, 0xF2, 0xF6};
const QColor kSelection{0x16, 0x7D, 0x9A};
const QColor kDisabledText{0x9A, 0xA4, 0xAF};
const QColor kHintBackground{0xFF, 0xFB, 0xE6};

}  // namespace

QPalette WindowPalette() {
  using namespace colours;
  QPalette palette;
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    const bool disabled = group == QPalette::Disabled;
    const QColor text = disabled ? kDisabledText : kInk;
    palette.setColor(group, QPalette::Window, Qt::white);
    palette.setColor(group, QPalette::WindowText, text);
    palette.setColor(group, QPalette::Base, kFieldBackground);
    palette.setColor(group, QPalette::AlternateBase, kAlternateRow);
    palette.setColor(group, QPalette::Text, text);
    palette.setColor(group, QPalette::PlaceholderText, kMuted);
    palette.setColor(group, QPalette::Button, kButtonFace);
    palette.setColor(group, QPalette::ButtonText, text);
    palette.setColor(group, QPalette::BrightText, Qt::white);
    palette.setColor(group, QPalette::Light, Qt::white);
    palette.setColor(group, QPalette::Midlight, kSidebar);
    palette.setColor(group, QPalette::Mid, kLine);
    palette.setColor(group, QPalette::Dark, kMuted);
    palette.setColor(group, QPalette::Shadow, kNight);
    palette.setColor(group, QPalette::Highlight, disabled ? kLine : kSelection);
    palette.setColor(group, QPalette::HighlightedText, Qt::white);
    palette.setColor(group, QPalette::Link, kTeal);
    palette.setColor(group, QPalette::LinkVisited, kNight);
    palette.setColor(group, QPalette::ToolTipBase, kHintBackground);
    palette.setColor(group, QPalette::ToolTipText, kInk);
  }
  return palette;
}

void UseWindowPalette(QWidget* window) { window->setPalette(WindowPalette()); }

}  // namespace rur::ui
