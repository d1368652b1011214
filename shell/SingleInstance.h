// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// One copy of the program per user. The first start listens on a local socket
// in a folder only this user can write to; a later start finds it there, asks
// that copy to show its window and ends, before it makes a window, an icon or
// a listener of its own. A socket left by a copy that died answers nobody and
// is taken over. Nothing another user does can stop a start: a place that is
// not this user's own is not used, and the program then runs unguarded.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <memory>
#include <sys/types.h>

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // The folder the socket and its lock live in: $XDG_RUNTIME_DIR when it is
  // this user's own and closed to others, else irc-quillmere-<uid> in the
  // temporary folder, made with mode 0700 when missing.
  static QString GuardFolder();

  struct Claimed {
    // The first copy's guard; empty when this start is not to go on as one.
    std::unique_ptr<SingleInstance> guard;
    // A running copy took the request: this start ends, with status 0.
    bool handedOver = false;
    // A running copy did not answer in time: its process, for the error box.
    pid_t silentCopy = 0;
    // Neither: the program runs without a guard (said on stderr once).
    bool unguarded = false;
  };
  // `folder` empty: GuardFolder().
  static Claimed Claim(const QString& folder = GuardFolder());

 signals:
  // A later start asks for the window.
  void ShowRequested();

 private:
  SingleInstance() = default;
  void Answer();

  QLocalServer server_;
};
