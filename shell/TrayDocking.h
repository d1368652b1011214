// The icon in the notification area. A tray takes an icon in on its own time,
// after the program has asked; the window must not show before its icon does,
// or a user could hide it with nothing to bring it back.
#pragma once

#include <chrono>

#include "shell/TrayPresence.h"

class QSystemTrayIcon;

// Shows the icon and waits until the tray of `kind` has taken it in, at most
// `limit`. True when it has.
bool ShowTrayIcon(QSystemTrayIcon& icon, TrayKind kind, std::chrono::milliseconds limit);
