// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One window per data folder: the first start on a folder holds a lock named after the folder and
// listens on a local socket of the same name; a second start on that folder finds the lock taken,
// asks the first window through the socket to show itself (raised, not minimised, out of the
// tray) and leaves. Windows on other data folders (two test set-ups) run side by side.

#include <QObject>
#include <QString>
#include <string>

class QLocalServer;

namespace rur::ui {

// The name of the lock and the socket for a data folder: the same folder, however spelled,
// gives the same name.
QString InstanceName(const std::string& dataFolder);
// The socket's path for a name (in the runtime folder).
QString InstanceSocketPath(const QString& name);

// The second start: asks the window listening at the socket to show itself. False when none
// answered in time.
bool AskFirstWindowToShow(const QString& socketPath);

// The first start's end of the socket.
class InstanceServer : public QObject {
  Q_OBJECT

 public:
  explicit InstanceServer(QObject* parent = nullptr);
  // Listens at the socket; a file left there by an ended run is removed first (the caller holds
  // the lock, so no live window owns it). False with the reason when it cannot listen.
  bool Listen(const QString& socketPath, QString& error);

 signals:
  void showRequested();

 private:
  QLocalServer* server_ = nullptr;
};

}  // namespace rur::ui
