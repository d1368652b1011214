// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/TrayDocking.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QSystemTrayIcon>
#include <QThread>
#include <QWidget>

#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// The window Qt made for an XEmbed icon; Qt gives it no public name but its class.
QWidget* TrayIconWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->inherits("QSystemTrayIconSys")) return widget;
  }
  return nullptr;
}

bool Embedded(xcb_connection_t* connection, xcb_window_t window) {
  std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr), &std::free);
  return tree && tree->parent != tree->root;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  QElapsedTimer waited;
  waited.start();
  while (!done()) {
    if (waited.elapsed() >= limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QThread::msleep(2);
  }
  return true;
}

bool WaitForDock(std::chrono::milliseconds limit) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  QWidget* icon = TrayIconWindow();
  if (!x11 || !x11->connection() || !icon) return false;
  const auto window = static_cast<xcb_window_t>(icon->winId());
  return WaitUntil([&] { return Embedded(x11->connection(), window); }, limit);
}

}  // namespace

// Names the icon's window after the tip, as trays that list their icons (and
// bridges to StatusNotifierItem hosts) show it; Qt names it after the program,
// and makes it anew for each tray that comes.
class IconWindowNaming : public QObject {
  Q_OBJECT

 public:
  explicit IconWindowNaming(QSystemTrayIcon& icon) : QObject(&icon), icon_(icon) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->inherits("QSystemTrayIconSys")) {
      static_cast<QWidget*>(watched)->setWindowTitle(icon_.toolTip());
    }
    return false;
  }

 private:
  QSystemTrayIcon& icon_;
};

// Hears the watcher announce items, and tells whether one was this process's.
// Qt registers the item from a bus connection of its own, so the item is known
// by the process that owns the name it was registered under.
class ItemRegistrations : public QObject {
  Q_OBJECT

 public:
  ItemRegistrations() {
    QDBusConnection::sessionBus().connect(QLatin1String(kStatusNotifierWatcher),
                                          QLatin1String(kStatusNotifierWatcherPath),
                                          QLatin1String(kStatusNotifierWatcher),
                                          QStringLiteral("StatusNotifierItemRegistered"), this,
                                          SLOT(Registered(QString)));
  }
  bool OursSeen() const { return oursSeen_; }

 private slots:
  void Registered(const QString& item) {
    // ":1.7", ":1.7/StatusNotifierItem" or "org.kde.StatusNotifierItem-7-1/...".
    const QString name = item.section(QLatin1Char('/'), 0, 0);
    if (name.isEmpty()) return;
    const auto pid = QDBusConnection::sessionBus().interface()->servicePid(name);
    if (pid.isValid() && pid.value() == static_cast<uint>(QCoreApplication::applicationPid())) oursSeen_ = true;
  }

 private:
  bool oursSeen_ = false;
};

TrayKind ShowTrayIcon(QSystemTrayIcon& icon, TrayKind expected, std::chrono::milliseconds limit) {
  // Qt makes the icon's window, or registers the item, while showing the icon:
  // both are watched for from before.
  qApp->installEventFilter(new IconWindowNaming(icon));
  ItemRegistrations registrations;
  icon.show();
  if (TrayIconWindow()) {
    WaitForDock(limit);
    return TrayKind::XEmbed;
  }
  // No window: the item goes to the session bus, if there is one.
  if (!QDBusConnection::sessionBus().isConnected()) return expected;
  WaitUntil([&] { return registrations.OursSeen(); }, limit);
  return TrayKind::StatusNotifier;
}

#include "TrayDocking.moc"
