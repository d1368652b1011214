// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Says to a screen reader what the relay and the imports did to the pool,
// politely: after whatever the reader is saying. Changes that come together
// (a burst of verdicts) make one announcement, and announcements keep a few
// seconds apart. Qt 6.8 brought the event that carries them; with an older
// Qt they go out as a notification told as shown, for each.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "pool/PoolNews.h"

class QWidget;

class Announcer : public QObject {
  Q_OBJECT

 public:
  // News waits this long for more to join it, and announcements keep this far apart.
  static constexpr int kGatherMs = 500;
  static constexpr int kApartMs = 3000;

  Announcer(QWidget& window, const ProxyPool& pool);
  // Every change of the pool, on the window's thread.
  void Hear(const PoolChange& change);

 private:
  void Announce();

  QWidget& window_;
  PoolNews news_;
  QTimer due_;
  QElapsedTimer last_;
  // The notification an older Qt tells of; made with the first news.
  QWidget* notice_ = nullptr;
};
