// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/Announcer.h"

#include <QAccessible>
#include <QWidget>

#include <algorithm>
#include <string>

Announcer::Announcer(QWidget& window, const ProxyPool& pool) : QObject(&window), window_(window), news_(pool) {
  due_.setSingleShot(true);
  connect(&due_, &QTimer::timeout, this, &Announcer::Announce);
}

void Announcer::Hear(const PoolChange& change) {
  news_.Hear(change);
  if (news_.Empty() || due_.isActive()) return;
  const qint64 sinceLast = last_.isValid() ? last_.elapsed() : kApartMs;
  due_.start(static_cast<int>(std::max<qint64>(kGatherMs, kApartMs - sinceLast)));
}

void Announcer::Announce() {
  const std::string said = news_.Take();
  if (said.empty()) return;
  last_.start();
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  QAccessibleAnnouncementEvent event(&window_, QString::fromLatin1(said.data(), static_cast<qsizetype>(said.size())));
  event.setPoliteness(QAccessible::AnnouncementPoliteness::Polite);
  QAccessible::updateAccessibility(&event);
#endif
}
