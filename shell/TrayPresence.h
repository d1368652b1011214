// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Which notification areas the desktop offers the program's icon: an XEmbed
// tray on the X display, a StatusNotifierItem host on the session bus, both or
// none; and word whenever that changes, as panels start, crash and restart.
#pragma once

#include <QObject>
#include <QTimer>

class QDBusMessage;

enum class TrayKind { XEmbed, StatusNotifier };

class TrayPresence : public QObject {
  Q_OBJECT

 public:
  enum class Watching { Desktop, Nothing };

  // Watching nothing, it knows only what is reported to it.
  explicit TrayPresence(Watching watching = Watching::Desktop, QObject* parent = nullptr);

  bool Has(TrayKind kind) const { return kind == TrayKind::XEmbed ? xembed_ : statusNotifier_; }
  bool Any() const { return xembed_ || statusNotifier_; }
  // What the watchers saw; emits Changed when it differs from what was known.
  void Report(TrayKind kind, bool present);

 signals:
  void Changed();

 private slots:
  void AskAgain();

 private:
  void PollXEmbed();
  void WatchStatusNotifier();
  void AskForHost(bool wait);
  void TakeHostAnswer(const QDBusMessage& reply);

  bool xembed_ = false;
  bool statusNotifier_ = false;
  // Questions to the watcher asked again after failing.
  int retries_ = 0;
  QTimer poll_;
};

// The session bus name and object of the StatusNotifierItem watcher.
extern const char* const kStatusNotifierWatcher;
extern const char* const kStatusNotifierWatcherPath;
