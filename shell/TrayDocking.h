// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The icon in the notification area. A tray takes an icon in on its own time,
// after the program has asked; the window must not show before its icon does,
// or a user could hide it with nothing to bring it back.
#pragma once

#include <chrono>

#include "shell/TrayPresence.h"

class QSystemTrayIcon;

// Shows the icon and waits until a tray has taken it in, at most `limit`.
// Returns the kind of tray Qt gave it to, `expected` where that cannot be
// seen; Qt keeps to it for the whole run.
TrayKind ShowTrayIcon(QSystemTrayIcon& icon, TrayKind expected, std::chrono::milliseconds limit);
