// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The window's outline and place on the screen.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QSize>

// The colour that is never shown: where the window's image has it, the window
// is see-through and clicks go to whatever lies below.
inline constexpr QRgb kKeyColour = 0xFF00FF00;

// Every pixel of `image` but those exactly of the key colour.
QRegion ShapeFromImage(const QImage& image);

// The first place of the window: centred on the screen, never off its top or
// left edge.
QPoint CentredPosition(QSize screen, QSize window);
