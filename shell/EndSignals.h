// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// SIGTERM, SIGINT and SIGHUP (a service manager's stop, Ctrl+C in the
// terminal, the terminal or the session going) end the program as the close
// button does: the event loop ends, the window goes and its tray icon with
// it, and the status is 0.
#pragma once

#include <QObject>

class QSocketNotifier;

class EndSignals : public QObject {
 public:
  explicit EndSignals(QObject* parent = nullptr);
  ~EndSignals() override;
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

 private:
  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};
