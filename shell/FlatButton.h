// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A flat button: only its glyph or caption at rest, a thin raised edge while
// the pointer is over it, a sunken edge with the face shifted one pixel while
// it is held down. It acts when the left button is released over it. Tab
// reaches it (a click does not move the focus), a dotted frame marks it then,
// and Space or Enter presses it.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>

class QPainter;

class FlatButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit FlatButton(QWidget* parent = nullptr);

  // Pixels of the glyph's key colour, the colour of its bottom-left pixel, are
  // left undrawn.
  void SetGlyph(const QImage& glyph);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPixmap glyph_;
};

// The keyboard focus's mark, a dotted frame, as the window's controls draw it.
void DrawFocusMark(QPainter& painter, const QRect& frame);
// Light text ringed by a one-pixel dark outline: readable over the light
// clouds of the artwork as over its dark sky.
void DrawOutlinedText(QPainter& painter, const QRect& frame, int flags, const QString& text, const QColor& colour);

// The picture with the pixels of its key colour (its bottom-left pixel's) made
// see-through.
QPixmap KeyedPixmap(const QImage& picture);

// The logical pixels a picture of the artwork stands for, at any scale.
QSize LogicalSize(const QPixmap& pixmap);
