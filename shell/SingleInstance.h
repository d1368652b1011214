// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// One copy of the program per user. The first start listens on a local socket
// in the user's runtime folder; a later start finds it there, asks that copy
// to show its window and ends, before it makes a window, an icon or a
// listener of its own. A socket left by a copy that crashed answers nobody and
// is taken over.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <memory>

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // $XDG_RUNTIME_DIR/irc-quillmere, else one named after the user in the
  // temporary folder.
  static QString SocketPath();

  // The copy that later starts hand over to, or nothing when a running copy
  // has taken the request and this start is to end.
  static std::unique_ptr<SingleInstance> Claim(const QString& path = SocketPath());

 signals:
  // A later start asks for the window.
  void ShowRequested();

 private:
  SingleInstance() = default;
  void Answer();

  QLocalServer server_;
};
