// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/service_upgrade.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>

#include <cerrno>
#include <cstring>

#include "platform/service_bus_names.h"
#include "window/qt_text.h"
#include "window/service_calls.h"

namespace rur::ui {
namespace {

// The call returns once the image was checked; it may wait for the user to answer polkit.
constexpr int kStartTimeoutMs = 10 * 60 * 1000;

QDBusConnection Bus() { return QDBusConnection::systemBus(); }

}  // namespace

ServiceUpgrade::ServiceUpgrade(QObject* parent) : QObject(parent) {
  watcher_.setConnection(Bus());
  watcher_.addWatchedService(QString::fromLatin1(bus::kBusName));
  watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
  connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
    if (running())
      Finish(false, QStringLiteral("rode-rurd stopped during the upgrade. Start it again: it reports an upgrade "
                                   "that did not finish, and the upgrade can be run again."));
  });
}

bool ServiceUpgrade::Start(const QString& enclosureObject, const std::string& imagePath, std::string& error) {
  if (running()) {
    error = "an upgrade runs already";
    return false;
  }
  const int fd = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = "cannot read " + imagePath + ": " + std::strerror(errno);
    return false;
  }
  const QDBusUnixFileDescriptor image(fd);  // holds a duplicate
  ::close(fd);
  QDBusMessage reply;
  if (!CallService({enclosureObject,
                    bus::kEnclosureInterface,
                    QStringLiteral("UpgradeFirmware"),
                    {QVariant::fromValue(image), QVariantMap()},
                    true,
                    kStartTimeoutMs},
                   reply, error))
    return false;
  job_ = qvariant_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
  step_.clear();
  const QString service = QString::fromLatin1(bus::kBusName);
  Bus().connect(service, job_, QString::fromLatin1(kPropertiesInterface), QStringLiteral("PropertiesChanged"), this,
                SLOT(JobPropertiesChanged(QString, QVariantMap, QStringList)));
  Bus().connect(service, job_, QString::fromLatin1(bus::kJobInterface), QStringLiteral("Completed"), this,
                SLOT(JobCompleted(bool, QString)));
  // A job that ended before the window listened has said so only in its step.
  QDBusMessage step;
  std::string unread;  // a step that cannot be read is followed by the signals alone
  CallService({job_,
               kPropertiesInterface,
               QStringLiteral("Get"),
               {QString::fromLatin1(bus::kJobInterface), QStringLiteral("Step")}},
              step, unread);
  const QString ended = qvariant_cast<QDBusVariant>(step.arguments().value(0)).variant().toString();
  if (ended == QStringLiteral("done") || ended == QStringLiteral("failed"))
    Finish(ended == QStringLiteral("done"), QStringLiteral("The upgrade through rode-rurd ended: %1.").arg(ended));
  return true;
}

void ServiceUpgrade::JobPropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                          const QStringList&) {
  if (interfaceName != QString::fromLatin1(bus::kJobInterface)) return;
  if (changed.contains(QStringLiteral("Step"))) step_ = changed.value(QStringLiteral("Step")).toString();
  emit progressed(step_, changed.value(QStringLiteral("Percent"), 0).toInt());
}

void ServiceUpgrade::JobCompleted(bool ok, const QString& message) { Finish(ok, message); }

void ServiceUpgrade::Finish(bool ok, const QString& message) {
  const QString service = QString::fromLatin1(bus::kBusName);
  Bus().disconnect(service, job_, QString::fromLatin1(kPropertiesInterface), QStringLiteral("PropertiesChanged"), this,
                   SLOT(JobPropertiesChanged(QString, QVariantMap, QStringList)));
  Bus().disconnect(service, job_, QString::fromLatin1(bus::kJobInterface), QStringLiteral("Completed"), this,
                   SLOT(JobCompleted(bool, QString)));
  job_.clear();
  emit finished(ok, message);
}

}  // namespace rur::ui
