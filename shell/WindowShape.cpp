// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/WindowShape.h"

#include <QBitmap>

#include <algorithm>

QRegion ShapeFromImage(const QImage& image) {
  // A bitmap made from a colour mask holds the matching pixels as clear bits.
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  return QRegion(QBitmap::fromImage(rgb.createMaskFromColor(kKeyColour, Qt::MaskInColor)));
}

QPoint CentredPosition(QSize screen, QSize window) {
  // Integer division truncates toward zero; what would lie off screen goes to 0.
  return QPoint(std::max(0, (screen.width() - window.width()) / 2),
                std::max(0, (screen.height() - window.height()) / 2));
}
