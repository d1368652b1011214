// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The window's outline in the screen's own pixels. Qt's mask is in the
// window's logical pixels, so at a scale above 1 it is coarser than the
// picture: along the rounded corners it would either cut the picture or show
// the key colour around it.
#pragma once

class QImage;
class QWidget;

// Shapes the native window of `window` to every pixel of `deviceFace` (the
// window as painted, in device pixels) that is not the key colour. False where
// the window system is not X11; Qt's logical mask then stands alone.
bool SetDeviceShape(QWidget* window, const QImage& deviceFace);
