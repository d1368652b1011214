// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The window system the program runs on, chosen before Qt starts. Placement,
// the outline, click-through and the taskbar state all hold on X11, so an X
// server is taken wherever one answers, Xwayland in a Wayland session too;
// Wayland alone serves where there is none.
#pragma once

#include <string>

// Sets QT_QPA_PLATFORM unless the user chose a platform (that variable, or
// -platform among `argv`). Returns the reason the window cannot show, or an
// empty text when it can.
std::string ChooseDisplay(int argc, char** argv);
