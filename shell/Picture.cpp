// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/Picture.h"

#include <QPainter>

Picture::Picture(const QPixmap& pixmap, QWidget* parent) : QWidget(parent), pixmap_(pixmap) {
  setFocusPolicy(Qt::NoFocus);
  if (!pixmap_.hasAlpha()) setAttribute(Qt::WA_OpaquePaintEvent);
}

void Picture::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, pixmap_);
}
