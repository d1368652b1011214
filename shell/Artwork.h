// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The window's pictures and the program's icon, compiled in and drawn for
// screens at 1, 1.5 and 2 times scale.
#pragma once

#include <QIcon>
#include <QImage>

// A picture of the artwork for a screen of `ratio` device pixels per logical
// one: the smallest drawing that is at least as fine, else the finest. Qt
// shrinks or enlarges it by what is left, a little at most.
QImage Artwork(const char* name, double ratio = 1.0);

// Makes the compiled-in pictures available; any call of the two above does too.
void LoadArtwork();

// The flask: the program's icon, in the tray and on its window.
QIcon ApplicationIcon();
