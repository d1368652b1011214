// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/DisplayChoice.h"

#include <xcb/xcb.h>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

bool XServerAnswers() {
  if (!std::getenv("DISPLAY")) return false;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool answers = connection && !xcb_connection_has_error(connection);
  if (connection) xcb_disconnect(connection);
  return answers;
}

// The compositor's socket, as its clients find it: WAYLAND_DISPLAY, a path or a
// name in XDG_RUNTIME_DIR.
bool WaylandAnswers() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name) return false;
  std::string path = name;
  if (path.front() != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime) return false;
    path = std::string(runtime) + "/" + path;
  }
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool answers = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return answers;
}

bool WaylandPluginInstalled() {
  QStringList folders{QLibraryInfo::path(QLibraryInfo::PluginsPath)};
  folders += qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
  for (const QString& folder : folders) {
    for (const char* plugin : {"libqwayland-generic.so", "libqwayland-egl.so"}) {
      if (QFileInfo::exists(folder + QStringLiteral("/platforms/") + QLatin1String(plugin))) return true;
    }
  }
  return false;
}

bool PlatformAsked(int argc, char** argv) {
  const char* asked = std::getenv("QT_QPA_PLATFORM");
  if (asked && *asked) return true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return true;
  }
  return false;
}

}  // namespace

std::string ChooseDisplay(int argc, char** argv) {
  if (PlatformAsked(argc, argv)) return {};
  if (XServerAnswers()) {
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    return {};
  }
  if (WaylandAnswers()) {
    if (!WaylandPluginInstalled()) {
      return "cannot show the window: this Wayland session has no X server (Xwayland) and Qt's Wayland "
             "plugin is not installed (Debian package qt6-wayland)";
    }
    ::setenv("QT_QPA_PLATFORM", "wayland", 1);
    return {};
  }
  return "cannot show the window: no X server (DISPLAY) and no Wayland compositor (WAYLAND_DISPLAY) answers";
}
