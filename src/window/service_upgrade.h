// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A firmware upgrade run by rode-rurd for a window that is its client: the window opens the image
// with the user's rights and hands it over, polkit asks the user, the service runs the upgrade as
// a job, and the window follows the job's step and percent until it ends. Should the service stop
// on the way, the follow ends too, with a message that says so.

#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <string>

namespace rur::ui {

class ServiceUpgrade final : public QObject {
  Q_OBJECT

 public:
  explicit ServiceUpgrade(QObject* parent = nullptr);

  // Asks the service to upgrade the enclosure at `enclosureObject` with the image at `imagePath`;
  // false with the service's message when it does not start.
  bool Start(const QString& enclosureObject, const std::string& imagePath, std::string& error);
  bool running() const { return !job_.isEmpty(); }

 signals:
  void progressed(const QString& step, int percent);
  void finished(bool ok, const QString& message);

 private slots:
  void JobPropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList& invalidated);
  void JobCompleted(bool ok, const QString& message);

 private:
  void Finish(bool ok, const QString& message);

  QString job_;  // the job's object path while it runs
  QString step_;
  QDBusServiceWatcher watcher_;
};

}  // namespace rur::ui
