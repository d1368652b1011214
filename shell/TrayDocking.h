// The icon in the notification area, on X11. A tray there takes an icon in
// on its own time, after the program has asked; the window must not show
// before its icon does, or a user could hide it with nothing to bring it back.
#pragma once

#include <chrono>

// Waits until the tray has taken the program's icon in, at most `limit`.
// True when it has; false at once where there is no X11 tray to wait for.
bool WaitForTrayIcon(std::chrono::milliseconds limit);
