// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

#include <algorithm>
#include <string>

namespace {

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
const QLatin1String kNoticeName("announcement");

// The notice is told to screen readers as a notification; every other object
// as Qt tells it.
QAccessibleInterface* NoticeAccessible(const QString&, QObject* object) {
  if (!object->isWidgetType() || object->objectName() != kNoticeName) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
}
#endif

}  // namespace

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
  const std::string news = news_.Take();
  if (news.empty()) return;
  last_.start();
  const QString said = QString::fromLatin1(news.data(), static_cast<qsizetype>(news.size()));
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  QAccessibleAnnouncementEvent event(&window_, said);
  event.setPoliteness(QAccessible::AnnouncementPoliteness::Polite);
  QAccessible::updateAccessibility(&event);
#else
  // Before 6.8 Qt has no announcement. What reaches a screen reader is a
  // notification that shows: a widget of the window named with the news, told
  // as shown for each. It is never shown on the screen, so that it is told
  // also while the window is hidden in the tray.
  if (!notice_) {
    QAccessible::installFactory(NoticeAccessible);
    notice_ = new QWidget(&window_);
    notice_->setObjectName(kNoticeName);
    notice_->hide();
  }
  notice_->setAccessibleName(said);
  QAccessibleEvent shown(notice_, QAccessible::ObjectShow);
  QAccessible::updateAccessibility(&shown);
#endif
}
