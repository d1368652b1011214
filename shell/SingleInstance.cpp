// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr int kAnswerMs = 2000;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");

// A folder that is this user's own, and closed to every other (a link to one
// is not).
bool OwnClosedFolder(const QString& path) {
  struct stat info {};
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// Serializes starts at the same moment. An flock goes with the process that
// held it, so a lock file left by a copy that died delays nobody.
class StartLock {
 public:
  explicit StartLock(const QString& path)
      : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    // A copy holds it only while it starts; a few seconds is plenty.
    for (int tries = 0; fd_ >= 0 && tries < 60; ++tries) {
      if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~StartLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Usable() const { return fd_ >= 0; }

 private:
  int fd_;
};

void SayUnguarded(const QString& why) {
  std::fprintf(stderr, "irc-quillmere: %s; running without the one-copy guard\n", why.toLocal8Bit().constData());
}

}  // namespace

QString SingleInstance::GuardFolder() {
  const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
  if (!runtime.isEmpty() && OwnClosedFolder(runtime)) return runtime;
  const QString own = QDir::tempPath() + QStringLiteral("/irc-quillmere-%1").arg(::getuid());
  ::mkdir(QFile::encodeName(own).constData(), 0700);
  return own;
}

SingleInstance::Claimed SingleInstance::Claim(const QString& folder) {
  Claimed claimed;
  if (!OwnClosedFolder(folder)) {
    claimed.unguarded = true;
    SayUnguarded(folder + QStringLiteral(" is not a folder of this user's own, closed to others"));
    return claimed;
  }
  const QString path = folder + QStringLiteral("/irc-quillmere");
  StartLock lock(path + QStringLiteral(".lock"));
  if (!lock.Usable()) {
    claimed.unguarded = true;
    SayUnguarded(QStringLiteral("no lock file can be made in ") + folder);
    return claimed;
  }

  QLocalSocket running;
  running.connectToServer(path);
  if (running.waitForConnected(kAnswerMs)) {
    ucred peer{};
    socklen_t length = sizeof peer;
    // Only this user's sockets can be in the folder; a peer that is not this
    // user's all the same is not told anything.
    if (::getsockopt(static_cast<int>(running.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        peer.uid != ::getuid()) {
      claimed.unguarded = true;
      SayUnguarded(path + QStringLiteral(" belongs to another user"));
      return claimed;
    }
    running.write(kShowRequest);
    if (running.waitForBytesWritten(kAnswerMs) && running.waitForReadyRead(kAnswerMs)) {
      claimed.handedOver = true;
    } else {
      claimed.silentCopy = peer.pid;
    }
    return claimed;
  }

  // Nobody answers there: a socket left by a copy that died, at most.
  std::unique_ptr<SingleInstance> first(new SingleInstance);
  first->server_.setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(path);
  if (!first->server_.listen(path)) {
    claimed.unguarded = true;
    SayUnguarded(QStringLiteral("cannot listen at ") + path);
    return claimed;
  }
  connect(&first->server_, &QLocalServer::newConnection, first.get(), &SingleInstance::Answer);
  claimed.guard = std::move(first);
  return claimed;
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
