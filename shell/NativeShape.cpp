// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/NativeShape.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "shell/WindowShape.h"

bool SetDeviceShape(QWidget* window, const QImage& deviceFace) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection() || deviceFace.isNull()) return false;
  xcb_connection_t* connection = x11->connection();
  QImage face = deviceFace;
  face.setDevicePixelRatio(1);  // the region is wanted in these pixels
  const QRegion shape = ShapeFromImage(face);
  std::vector<xcb_rectangle_t> rectangles;
  rectangles.reserve(static_cast<std::size_t>(shape.rectCount()));
  for (const QRect& r : shape) {
    rectangles.push_back({static_cast<std::int16_t>(r.x()), static_cast<std::int16_t>(r.y()),
                          static_cast<std::uint16_t>(r.width()), static_cast<std::uint16_t>(r.height())});
  }
  xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_YX_BANDED,
                       static_cast<xcb_window_t>(window->winId()), 0, 0,
                       static_cast<std::uint32_t>(rectangles.size()), rectangles.data());
  xcb_flush(connection);
  return true;
}
