// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's pictures, drawn in code so they stay crisp and need no image files: navigation
// buttons, device and bay buttons in their selected (yellow) and plain (white) looks, the log
// button, the logo, the background and the icon.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <array>

class QLabel;
class QPainter;

namespace rur::ui {

enum class Glyph { Status, Setup, Upgrade, Email, Smart, About, Disk, Log, Fan, Thermometer };
enum class ButtonLook { Yellow, White };
enum class BackgroundKind { Raid, HyBrid, Oem };

constexpr int kNavigationWidth = 169;
constexpr int kNavigationHeight = 44;
constexpr int kDeviceButtonWidth = 84;
constexpr int kDeviceButtonHeight = 28;
constexpr int kBayButtonWidth = 55;
constexpr int kBayButtonHeight = 30;
constexpr int kLogButtonWidth = 100;
constexpr int kLogButtonHeight = 28;
constexpr int kLogoWidth = 161;
constexpr int kLogoHeight = 32;

// The palette the pictures and the pages share.
namespace colours {
inline const QColor kInk{0x1E, 0x2B, 0x3A};
inline const QColor kMuted{0x6B, 0x78, 0x88};
inline const QColor kLine{0xDD, 0xE3, 0xEA};
inline const QColor kSidebar{0xF3, 0xF6, 0xF9};
inline const QColor kNight{0x17, 0x2A, 0x45};
inline const QColor kTeal{0x16, 0x7D, 0x9A};
inline const QColor kAmber{0xFF, 0xC9, 0x3C};
inline const QColor kAmberDeep{0xF2, 0xA9, 0x00};
// States that need the user: a degraded array (warning), a failed one or a stopped fan (error).
inline const QColor kWarning{0xB3, 0x5C, 0x00};
inline const QColor kError{0xC0, 0x39, 0x2B};
}  // namespace colours

// The window font at a pixel size.
QFont WindowFont(int pixelSize = 13, bool bold = false);
// A label's text colour in its enabled look; a disabled label keeps the toolkit's grey.
void SetTextColour(QLabel* label, const QColor& colour);

QPixmap NavigationPicture(const QString& caption, Glyph glyph, ButtonLook look);
QPixmap DeviceButtonPicture(const QString& caption, ButtonLook look);
// The buttons of Device1 and Device2 in both looks. The window draws them once and hands the same
// pictures to the status page and the Upgrade page, so a device looks alike on both.
struct DeviceButtonPictures {
  std::array<QPixmap, 2> yellow;
  std::array<QPixmap, 2> white;
};
DeviceButtonPictures DrawDeviceButtons();
QPixmap BayButtonPicture(const QString& caption, ButtonLook look);
QPixmap LogButtonPicture();
QPixmap LogoPicture();
// A glyph alone, for small pictures beside values.
QPixmap GlyphPicture(Glyph glyph, int side, const QColor& colour);
QPixmap BackgroundPicture(BackgroundKind kind, QSize size);
QIcon ApplicationIcon();
// The icon's drawing on a square of side pixels; the installed scalable icon is made from it too.
void DrawApplicationIcon(QPainter& painter, int side);

}  // namespace rur::ui
