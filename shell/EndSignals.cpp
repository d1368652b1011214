// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/EndSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

// A signal may land on any thread, the relay's included: all its handler
// may do is tell the window's thread through a pipe.
int signalPipe = -1;

void TellTheWindow(int) {
  const int saved = errno;
  const char byte = 0;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe, &byte, 1);
  errno = saved;
}

}  // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  signalPipe = pipe_[1];
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action{};
  action.sa_handler = TellTheWindow;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kEndSignals) ::sigaction(signal, &action, nullptr);
}

EndSignals::~EndSignals() {
  if (pipe_[0] < 0) return;
  // A signal during the rest of the end ends the process at once, as before.
  struct sigaction action{};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const int signal : kEndSignals) ::sigaction(signal, &action, nullptr);
  signalPipe = -1;
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}
