// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/TrayPresence.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

const char* const kStatusNotifierWatcher = "org.kde.StatusNotifierWatcher";
const char* const kStatusNotifierWatcherPath = "/StatusNotifierWatcher";

namespace {

// A tray that appears is seen within this time.
constexpr int kXEmbedPollMs = 1000;
// How long start-up waits for the watcher's first answer; a later answer is
// taken when it comes.
constexpr int kStartupAnswerMs = 250;
// A question the watcher leaves unanswered this long is asked again.
constexpr int kAnswerLimitMs = 5000;
// After a failed question, the next ones in the first minute (a panel that
// starts with the session may still be on its way).
constexpr int kRetryDelaysMs[] = {1000, 2000, 4000, 8000, 15000, 30000};

// The screen an X connection opens by default: the number after the dot of
// DISPLAY ("host:1.2"), else 0.
int DefaultScreenNumber() {
  const char* display = std::getenv("DISPLAY");
  if (!display) return 0;
  const char* colon = std::strrchr(display, ':');
  const char* dot = colon ? std::strchr(colon, '.') : nullptr;
  return dot ? std::atoi(dot + 1) : 0;
}

bool XEmbedTrayOwned(xcb_connection_t* connection) {
  const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreenNumber());
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
      xcb_intern_atom_reply(connection,
                            xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.c_str()),
                            nullptr),
      &std::free);
  if (!atom || atom->atom == XCB_ATOM_NONE) return false;  // never interned: never owned
  std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr),
      &std::free);
  return owner && owner->owner != XCB_WINDOW_NONE;
}

xcb_connection_t* XConnection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

QDBusMessage HostQuestion() {
  QDBusMessage question = QDBusMessage::createMethodCall(
      QLatin1String(kStatusNotifierWatcher), QLatin1String(kStatusNotifierWatcherPath),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  question << QLatin1String(kStatusNotifierWatcher) << QStringLiteral("IsStatusNotifierHostRegistered");
  return question;
}

}  // namespace

TrayPresence::TrayPresence(Watching watching, QObject* parent) : QObject(parent) {
  if (watching == Watching::Nothing) return;
  if (XConnection()) {
    PollXEmbed();
    connect(&poll_, &QTimer::timeout, this, &TrayPresence::PollXEmbed);
    poll_.start(kXEmbedPollMs);
  }
  WatchStatusNotifier();
}

void TrayPresence::Report(TrayKind kind, bool present) {
  bool& known = kind == TrayKind::XEmbed ? xembed_ : statusNotifier_;
  if (known == present) return;
  known = present;
  emit Changed();
}

void TrayPresence::PollXEmbed() {
  if (xcb_connection_t* connection = XConnection()) Report(TrayKind::XEmbed, XEmbedTrayOwned(connection));
}

void TrayPresence::WatchStatusNotifier() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  auto* watcher = new QDBusServiceWatcher(QLatin1String(kStatusNotifierWatcher), bus,
                                          QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& owner) {
            if (owner.isEmpty()) {
              Report(TrayKind::StatusNotifier, false);
            } else {
              AskForHost(false);
            }
          });
  // A watcher without a host shows nothing; the host's coming and going is
  // announced by the watcher.
  for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
    bus.connect(QLatin1String(kStatusNotifierWatcher), QLatin1String(kStatusNotifierWatcherPath),
                QLatin1String(kStatusNotifierWatcher), QLatin1String(signal), this, SLOT(AskAgain()));
  }
  if (bus.interface()->isServiceRegistered(QLatin1String(kStatusNotifierWatcher))) AskForHost(true);
}

void TrayPresence::AskAgain() {
  AskForHost(false);
}

void TrayPresence::AskForHost(bool wait) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(HostQuestion(), kAnswerLimitMs), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    TakeHostAnswer(call->reply());
  });
  if (!wait) return;
  // Start-up waits a moment for the answer, so that the icon can be there
  // before the window shows; a slower one is taken when it comes.
  QEventLoop loop;
  QTimer::singleShot(kStartupAnswerMs, &loop, &QEventLoop::quit);
  connect(pending, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void TrayPresence::TakeHostAnswer(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    // No answer, or a failed one: a busy session at login. Asked again a few
    // times, besides whenever the watcher speaks up.
    if (retries_ < static_cast<int>(std::size(kRetryDelaysMs))) {
      QTimer::singleShot(kRetryDelaysMs[retries_++], this, &TrayPresence::AskAgain);
    }
    Report(TrayKind::StatusNotifier, false);
    return;
  }
  Report(TrayKind::StatusNotifier, reply.arguments().first().value<QDBusVariant>().variant().toBool());
}
