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
#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

const char* const kStatusNotifierWatcher = "org.kde.StatusNotifierWatcher";
const char* const kStatusNotifierWatcherPath = "/StatusNotifierWatcher";

namespace {

// A tray that appears is seen within this time.
constexpr int kXEmbedPollMs = 1000;
// A watcher that does not answer at start-up is taken as absent.
constexpr int kStartupAnswerMs = 250;

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
  if (wait) {
    TakeHostAnswer(bus.call(HostQuestion(), QDBus::Block, kStartupAnswerMs));
    return;
  }
  auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(HostQuestion()), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    TakeHostAnswer(call->reply());
  });
}

void TrayPresence::TakeHostAnswer(const QDBusMessage& reply) {
  bool host = false;
  if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
    host = reply.arguments().first().value<QDBusVariant>().variant().toBool();
  }
  Report(TrayKind::StatusNotifier, host);
}
