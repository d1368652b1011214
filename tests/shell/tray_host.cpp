// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A StatusNotifierItem watcher and host on the session bus, as a desktop's
// panel is one: it takes items' registrations, reads each item's properties
// and prints them, and on a line of standard input calls the newest item:
//   activate | secondary | scroll | context
// Its first argument, if any, is how many milliseconds it takes to register an
// item; a second, "late", keeps it from answering anything for its first 2 s,
// as a panel busy at login does ("answering" then).
// Every line it prints ends in a flush, so that a log shared with other
// programs keeps the order in which things happened.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Say(const QString& line) {
  std::printf("%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

// "WxH" for each picture of an a(iiay) value, or "invalid" when a picture's
// bytes are not W x H x 4.
QString Pictures(const QDBusArgument& array) {
  QStringList sizes;
  array.beginArray();
  while (!array.atEnd()) {
    int width = 0;
    int height = 0;
    QByteArray bytes;
    array.beginStructure();
    array >> width >> height >> bytes;
    array.endStructure();
    const bool whole = width > 0 && height > 0 && bytes.size() == qsizetype(width) * height * 4;
    sizes << (whole ? QStringLiteral("%1x%2").arg(width).arg(height) : QStringLiteral("invalid"));
  }
  array.endArray();
  return sizes.join(QLatin1Char(','));
}

// The title of a (sa(iiay)ss) tool tip.
QString TipTitle(const QDBusArgument& tip) {
  QString iconName;
  QString title;
  QString text;
  tip.beginStructure();
  tip >> iconName;
  Pictures(tip);
  tip >> title >> text;
  tip.endStructure();
  return title;
}

class Watcher : public QObject {
  Q_OBJECT

 public:
  void ReadItem(const QString& service, const QString& path) {
    service_ = service;
    path_ = path;
    QDBusMessage question = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                           QStringLiteral("GetAll"));
    question << QStringLiteral("org.kde.StatusNotifierItem");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(question, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
      Say(QStringLiteral("unreadable %1").arg(reply.errorMessage()));
      return;
    }
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().first());
    const auto text = [&](const char* name) { return properties.value(QLatin1String(name)).toString(); };
    const auto picture = [&](const char* name) {
      const QVariant value = properties.value(QLatin1String(name));
      return value.canConvert<QDBusArgument>() ? Pictures(value.value<QDBusArgument>()) : QString();
    };
    const QVariant tip = properties.value(QStringLiteral("ToolTip"));
    Say(QStringLiteral("item id=%1 status=%2 tip=%3 icon=%4 menu=%5 itemismenu=%6")
            .arg(text("Id"), text("Status"),
                 tip.canConvert<QDBusArgument>() ? TipTitle(tip.value<QDBusArgument>()) : QString(),
                 picture("IconPixmap"), properties.value(QStringLiteral("Menu")).value<QDBusObjectPath>().path(),
                 text("ItemIsMenu")));
  }

  void Call(const QString& command) {
    if (service_.isEmpty()) return Say(QStringLiteral("no item to call"));
    QDBusMessage call;
    const auto method = [&](const char* name) {
      return QDBusMessage::createMethodCall(service_, path_, QStringLiteral("org.kde.StatusNotifierItem"),
                                            QLatin1String(name));
    };
    if (command == QLatin1String("activate")) {
      call = method("Activate") << 0 << 0;
    } else if (command == QLatin1String("secondary")) {
      call = method("SecondaryActivate") << 0 << 0;
    } else if (command == QLatin1String("scroll")) {
      call = method("Scroll") << 1 << QStringLiteral("vertical");
    } else if (command == QLatin1String("context")) {
      call = method("ContextMenu") << 0 << 0;
    } else {
      return Say(QStringLiteral("unknown command %1").arg(command));
    }
    auto* pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [command](QDBusPendingCallWatcher* done) {
      done->deleteLater();
      Say(done->isError() ? QStringLiteral("call %1 failed: %2").arg(command, done->error().message())
                          : QStringLiteral("called %1").arg(command));
    });
  }

 private:
  QString service_;
  QString path_;
};

class WatcherAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
  Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)

 public:
  WatcherAdaptor(Watcher* watcher, int delayMs)
      : QDBusAbstractAdaptor(watcher), watcher_(watcher), delayMs_(delayMs) {}
  QStringList RegisteredStatusNotifierItems() const { return items_; }
  bool IsStatusNotifierHostRegistered() const { return true; }
  int ProtocolVersion() const { return 0; }

 public slots:
  void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
    // A bus name, with the item at the usual path, or a path on the caller's name.
    const bool isPath = service.startsWith(QLatin1Char('/'));
    const QString name = isPath ? message.service() : service;
    const QString path = isPath ? service : QStringLiteral("/StatusNotifierItem");
    // A busy panel takes its time: the item counts as registered only then.
    message.setDelayedReply(true);
    QTimer::singleShot(delayMs_, this, [this, message, name, path] {
      const auto pid = QDBusConnection::sessionBus().interface()->servicePid(name);
      items_ << name + path;
      Say(QStringLiteral("registered %1 pid=%2").arg(name + path).arg(pid.value()));
      emit StatusNotifierItemRegistered(name + path);
      QDBusConnection::sessionBus().send(message.createReply());
      watcher_->ReadItem(name, path);
    });
  }
  void RegisterStatusNotifierHost(const QString&) {}

 signals:
  void StatusNotifierItemRegistered(const QString& item);
  void StatusNotifierHostRegistered();

 private:
  Watcher* watcher_;
  int delayMs_;
  QStringList items_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::fprintf(stderr, "tray_host: no session bus\n");
    return 1;
  }
  Watcher watcher;
  const int delayMs = argc > 1 ? std::atoi(argv[1]) : 0;
  new WatcherAdaptor(&watcher, delayMs);
  if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher) ||
      !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
    std::fprintf(stderr, "tray_host: the watcher's name is taken\n");
    return 1;
  }
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  std::string line;
  QObject::connect(&input, &QSocketNotifier::activated, &watcher, [&] {
    char byte = 0;
    const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
    if (got <= 0) {
      input.setEnabled(false);
      return;
    }
    if (byte != '\n') {
      line += byte;
      return;
    }
    watcher.Call(QString::fromStdString(line));
    line.clear();
  });
  Say(QStringLiteral("watching"));
  if (argc > 2 && std::string(argv[2]) == "late") {
    ::usleep(2'000'000);
    Say(QStringLiteral("answering"));
  }
  return QCoreApplication::exec();
}

#include "tray_host.moc"
