// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QRegularExpression>
#include <QStringList>
#include <QVariantMap>

#include "platform/safe_text.h"
#include "window/qt_text.h"

namespace rur::ui {
namespace {

constexpr int kExpireDefault = -1;  // the service's own time-out
constexpr unsigned char kUrgencyNormal = 1;
constexpr unsigned char kUrgencyCritical = 2;

enum class Worth { None, Good, Bad };

Worth WorthOf(LogEventKind kind) {
  switch (kind) {
    case LogEventKind::MemberRemoved:
    case LogEventKind::MemberFailed:
    case LogEventKind::DeviceRemoved:
    case LogEventKind::RebuildAborted:
    case LogEventKind::Flapping:
    case LogEventKind::NotAnswering:
    case LogEventKind::FanFailure:
    case LogEventKind::OverTemperature:
    case LogEventKind::DiskReplaced:
    case LogEventKind::DiskHealth:
    case LogEventKind::FlashInvalid:
    case LogEventKind::MailGivenUp:
    case LogEventKind::MailRefused:
    case LogEventKind::MailLost:
    case LogEventKind::UpgradeUnfinished: return Worth::Bad;
    case LogEventKind::MemberInserted:
    case LogEventKind::MemberInitialized:
    case LogEventKind::RebuildDone:
    case LogEventKind::DeviceFound:
    case LogEventKind::Steady:
    case LogEventKind::AnsweringAgain:
    case LogEventKind::FanRunning:
    case LogEventKind::TemperatureNormal: return Worth::Good;
    case LogEventKind::Banner:
    case LogEventKind::FirmwareUpgrade:  // the window shows the upgrade and its outcome itself
    case LogEventKind::Info:
    case LogEventKind::RebuildProgress:
    case LogEventKind::Alarm: return Worth::None;
  }
  return Worth::None;
}

class SessionBus final : public DesktopNotifier {
 public:
  void Notify(const DesktopNotice& notice) override {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(static_cast<unsigned char>(notice.critical ? kUrgencyCritical : kUrgencyNormal)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("rode-rur"));
    call << QStringLiteral("RODE RUR") << 0u << QStringLiteral("drive-harddisk") << notice.summary << notice.body
         << QStringList() << hints << kExpireDefault;
    bus.call(call, QDBus::NoBlock);
  }
};

}  // namespace

std::optional<DesktopNotice> NoticeForEvent(const LogEvent& event) {
  const Worth worth = WorthOf(event.tag.kind);
  if (worth == Worth::None) return std::nullopt;
  const QString line = QString::fromStdString(event.text).trimmed();
  // The summary is the event without the device's "D1 ", its state code and its time stamp;
  // "HDD1 OK, HDD2 OK" (a rebuild ended) is one event although it holds a comma.
  static const QRegularExpression kDevicePrefix(QStringLiteral("^D\\d+ "));
  QString rest = line;
  rest.remove(kDevicePrefix);
  static const QRegularExpression kBothOk(QStringLiteral("^HDD1 OK, HDD2 OK"));
  const QRegularExpressionMatch bothOk = kBothOk.match(rest);
  QString what = bothOk.hasMatch() ? bothOk.captured(0) : rest.section(QLatin1Char(','), 0, 0).trimmed();
  static const QRegularExpression kStamp(QStringLiteral("\\d{4}/\\d{1,2}/\\d{1,2}( \\d{1,2}:\\d{2}(:\\d{2})?)?$"));
  what.remove(kStamp);
  const QString summary = event.tag.device >= 0
                              ? QStringLiteral("Device%1 %2").arg(event.tag.device + 1).arg(what.trimmed())
                              : what.trimmed();
  // Notification servers read both as markup: a serial "<b>OLD</b>" is shown as the disk reports it.
  DesktopNotice notice;
  notice.summary = Q(MarkupText(Std(summary)));
  notice.body = Q(MarkupText(Std(line)));
  notice.critical = worth == Worth::Bad;
  return notice;
}

std::unique_ptr<DesktopNotifier> SessionBusNotifier() { return std::make_unique<SessionBus>(); }

}  // namespace rur::ui
