// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QRegularExpression>
#include <QStringList>
#include <QVariantMap>

namespace rur::ui {
namespace {

constexpr int kExpireDefault = -1;  // the service's own time-out
constexpr unsigned char kUrgencyNormal = 1;
constexpr unsigned char kUrgencyCritical = 2;

// Words of the lines that report something wrong.
const QStringList kAlarmWords{QStringLiteral("removed"),       QStringLiteral("fail"),
                              QStringLiteral("stopped"),       QStringLiteral("too high"),
                              QStringLiteral("not answering"), QStringLiteral("worse"),
                              QStringLiteral("grew"),          QStringLiteral("replaced"),
                              QStringLiteral("not healthy"),   QStringLiteral("source of the rebuild")};
// Words of the good news worth a notice.
const QStringList kRecoveryWords{QStringLiteral("Done"),       QStringLiteral("OK, HDD2 OK"),
                                 QStringLiteral("found"),      QStringLiteral("answering again"),
                                 QStringLiteral("inserted"),   QStringLiteral("running"),
                                 QStringLiteral("initialized")};

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

std::optional<DesktopNotice> NoticeForLogLine(const QString& line) {
  static const QRegularExpression kDeviceLine(QStringLiteral("^D(\\d+) (.*)$"));
  static const QRegularExpression kProgress(QStringLiteral("\\d+%, "));
  const QRegularExpressionMatch match = kDeviceLine.match(line);
  if (!match.hasMatch() || kProgress.match(line).hasMatch()) return std::nullopt;
  const QString rest = match.captured(2);
  const auto has = [&rest](const QStringList& words) {
    for (const QString& word : words)
      if (rest.contains(word, Qt::CaseInsensitive)) return true;
    return false;
  };
  const bool critical = has(kAlarmWords);
  if (!critical && !has(kRecoveryWords)) return std::nullopt;
  // The summary is the event without its state code and time stamp.
  // "HDD1 OK, HDD2 OK" (a rebuild ended) is one event although it holds a comma.
  static const QRegularExpression kBothOk(QStringLiteral("^HDD1 OK, HDD2 OK"));
  const QRegularExpressionMatch bothOk = kBothOk.match(rest);
  QString event = bothOk.hasMatch() ? bothOk.captured(0) : rest.section(QLatin1Char(','), 0, 0).trimmed();
  static const QRegularExpression kStamp(QStringLiteral("\\d{4}/\\d{1,2}/\\d{1,2}( \\d{1,2}:\\d{2}(:\\d{2})?)?$"));
  event.remove(kStamp);
  DesktopNotice notice;
  notice.summary = QStringLiteral("Device%1 %2").arg(match.captured(1), event.trimmed());
  notice.body = line;
  notice.critical = critical;
  return notice;
}

std::unique_ptr<DesktopNotifier> SessionBusNotifier() { return std::make_unique<SessionBus>(); }

}  // namespace rur::ui
