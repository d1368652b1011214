// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Keeping the program out of the taskbar, or letting it in where no tray can
// bring the window back. The window carries the window manager's skip-taskbar
// state; a window manager without it shows an entry.
#pragma once

class QWidget;

// Before the window is mapped the state is set on the window itself; once it
// is mapped only the window manager may change it, so it is asked to.
void KeepOffTaskbar(QWidget* window, bool mapped, bool off = true);
