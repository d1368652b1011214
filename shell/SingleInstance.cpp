// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {

constexpr int kAnswerMs = 2000;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");

// True once a copy listening at `path` has the request.
bool HandOver(const QString& path) {
  QLocalSocket running;
  running.connectToServer(path);
  if (!running.waitForConnected(kAnswerMs)) return false;  // nobody there: a stale socket at most
  running.write(kShowRequest);
  if (!running.waitForBytesWritten(kAnswerMs)) return false;
  // The copy answers once its window is on its way; a copy too busy to answer
  // still has the request.
  running.waitForReadyRead(kAnswerMs);
  return true;
}

}  // namespace

QString SingleInstance::SocketPath() {
  const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
  if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime + QStringLiteral("/irc-quillmere");
  return QDir::tempPath() + QStringLiteral("/irc-quillmere-%1").arg(::getuid());
}

std::unique_ptr<SingleInstance> SingleInstance::Claim(const QString& path) {
  // Two starts at the same moment must not both find nobody and both listen.
  QLockFile lock(path + QStringLiteral(".lock"));
  lock.tryLock(3 * kAnswerMs);
  if (HandOver(path)) return nullptr;

  std::unique_ptr<SingleInstance> first(new SingleInstance);
  first->server_.setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(path);
  // Should the socket not come up, this copy runs all the same, alone as far
  // as it knows.
  if (first->server_.listen(path)) {
    connect(&first->server_, &QLocalServer::newConnection, first.get(), &SingleInstance::Answer);
  }
  return first;
}

void SingleInstance::Answer() {
  while (QLocalSocket* later = server_.nextPendingConnection()) {
    connect(later, &QLocalSocket::disconnected, later, &QObject::deleteLater);
    connect(later, &QLocalSocket::readyRead, this, [this, later] {
      if (!later->readAll().contains('\n')) return;
      emit ShowRequested();
      later->write("ok\n");
      later->disconnectFromServer();
    });
  }
}
