// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/OutlinedLabel.h"

#include <QPainter>

#include "shell/FlatButton.h"

void OutlinedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DrawOutlinedText(painter, contentsRect(), static_cast<int>(alignment()), text(),
                   palette().color(QPalette::WindowText));
}
