// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/tray_icon.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

#include "window/artwork.h"

namespace rur::ui {
namespace {

constexpr int kIconSide = 32;
constexpr int kBadgeSide = 14;

// The program's icon with a badge in the state's colour in its corner.
QIcon StateIcon(TrayState state) {
  QPixmap picture(kIconSide, kIconSide);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing, true);
  DrawApplicationIcon(painter, kIconSide);
  QColor badge;
  switch (state) {
    case TrayState::Normal: badge = QColor(0x2E, 0x9E, 0x5B); break;
    case TrayState::Rebuilding: badge = colours::kTeal; break;
    case TrayState::Degraded: badge = colours::kWarning; break;
    case TrayState::Failed: badge = colours::kError; break;
  }
  painter.setPen(QPen(Qt::white, 2));
  painter.setBrush(badge);
  painter.drawEllipse(QRectF(kIconSide - kBadgeSide - 1, kIconSide - kBadgeSide - 1, kBadgeSide, kBadgeSide));
  return QIcon(picture);
}

}  // namespace

TrayState TrayStateOf(const EnclosureHealth& health) {
  if (health.level == HealthLevel::Critical) return TrayState::Failed;
  switch (health.array) {
    case ArrayState::Rebuilding: return TrayState::Rebuilding;
    case ArrayState::Degraded: return TrayState::Degraded;
    case ArrayState::Failed: return TrayState::Failed;
    case ArrayState::Normal: break;
  }
  return health.level == HealthLevel::Good ? TrayState::Normal : TrayState::Degraded;
}

QString TrayStateName(TrayState state) {
  switch (state) {
    case TrayState::Normal: return QStringLiteral("normal");
    case TrayState::Rebuilding: return QStringLiteral("rebuilding");
    case TrayState::Degraded: return QStringLiteral("degraded");
    case TrayState::Failed: return QStringLiteral("failed");
  }
  return QString();
}

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
  menu_ = new QMenu();
  menu_->setObjectName(QStringLiteral("trayMenu"));
  QAction* show = menu_->addAction(QStringLiteral("Show window"));
  QAction* log = menu_->addAction(QStringLiteral("Event log"));
  menu_->addSeparator();
  QAction* quit = menu_->addAction(QStringLiteral("Quit"));
  connect(show, &QAction::triggered, this, &TrayIcon::showWindowRequested);
  connect(log, &QAction::triggered, this, &TrayIcon::eventLogRequested);
  connect(quit, &QAction::triggered, this, &TrayIcon::quitRequested);

  icon_ = new QSystemTrayIcon(StateIcon(state_), this);
  icon_->setObjectName(QStringLiteral("trayIcon"));
  icon_->setContextMenu(menu_);
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) emit showWindowRequested();
  });
  icon_->show();
}

TrayIcon::~TrayIcon() { delete menu_; }

bool TrayIcon::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::Show(TrayState worst, const QStringList& lines) {
  const QString toolTip = QStringLiteral("RODE RUR - %1\n%2").arg(TrayStateName(worst), lines.join(QLatin1Char('\n')));
  if (worst != state_) icon_->setIcon(StateIcon(worst));
  state_ = worst;
  if (toolTip == toolTip_) return;
  toolTip_ = toolTip;
  icon_->setToolTip(toolTip);
}

QString TrayIcon::toolTip() const { return toolTip_; }

}  // namespace rur::ui
