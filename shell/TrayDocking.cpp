#include "shell/TrayDocking.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QSystemTrayIcon>
#include <QThread>
#include <QWidget>

#include <cstdlib>
#include <memory>

namespace {

// The window Qt made for the icon; Qt gives it no public name but its class.
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

}  // namespace

bool WaitForTrayIcon(std::chrono::milliseconds limit) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection() || !QSystemTrayIcon::isSystemTrayAvailable()) return false;
  QWidget* icon = TrayIconWindow();
  if (!icon) return false;
  const auto window = static_cast<xcb_window_t>(icon->winId());
  QElapsedTimer waited;
  waited.start();
  while (!Embedded(x11->connection(), window)) {
    if (waited.elapsed() >= limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QThread::msleep(2);
  }
  return true;
}
