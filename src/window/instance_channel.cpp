// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/instance_channel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <filesystem>

#include "platform/single_instance.h"
#include "window/qt_text.h"

namespace rur::ui {
namespace {

constexpr int kAnswerWaitMs = 2000;  // a window that does not take the request in this time is hung
constexpr int kNameHashLength = 16;  // hex digits of the folder's hash: short enough for a socket path
const QByteArray kShowRequest = QByteArrayLiteral("show\n");

}  // namespace

QString InstanceName(const std::string& dataFolder) {
  std::error_code ignored;
  std::filesystem::path folder = std::filesystem::absolute(dataFolder, ignored);
  // A folder not made yet has no canonical form: its spelling is normalised instead.
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(folder, ignored);
  if (!canonical.empty()) folder = canonical;
  const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(folder.lexically_normal().string()),
                                                   QCryptographicHash::Sha256);
  return QStringLiteral("rode-rur-window-") + QString::fromLatin1(hash.toHex().left(kNameHashLength));
}

QString InstanceSocketPath(const QString& name) {
  return QDir(Q(RuntimeDirectory())).filePath(name + QStringLiteral(".socket"));
}

bool AskFirstWindowToShow(const QString& socketPath) {
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(kAnswerWaitMs)) return false;
  socket.write(kShowRequest);
  if (!socket.waitForBytesWritten(kAnswerWaitMs)) return false;
  // The window closes its end once it has taken the request.
  socket.waitForDisconnected(kAnswerWaitMs);
  return true;
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
  // Only this user may connect.
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) return;
        const bool show = socket->readLine() == kShowRequest;
        socket->disconnectFromServer();
        if (show) emit showRequested();
      });
    }
  });
}

bool InstanceServer::Listen(const QString& socketPath, QString& error) {
  QLocalServer::removeServer(socketPath);
  if (server_->listen(socketPath)) return true;
  error = server_->errorString();
  return false;
}

}  // namespace rur::ui
