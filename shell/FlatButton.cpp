// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/FlatButton.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPen>

QPixmap KeyedPixmap(const QImage& picture) {
  if (picture.isNull()) return {};
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  const QRgb key = rgb.pixel(0, rgb.height() - 1);
  QPixmap pixmap = QPixmap::fromImage(rgb);
  // A bitmap made from a colour mask holds the matching pixels as clear bits.
  pixmap.setMask(QBitmap::fromImage(rgb.createMaskFromColor(key, Qt::MaskInColor)));
  return pixmap;
}

QSize LogicalSize(const QPixmap& pixmap) {
  // A 15-pixel glyph drawn at 1.5 is 23 pixels, 15.33 logical ones: it takes the
  // place of the 15-pixel one.
  return (pixmap.deviceIndependentSize() - QSizeF(0.01, 0.01)).toSize();
}

FlatButton::FlatButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::TabFocus);
  // Repaint on entering and leaving, for the raised edge.
  setAttribute(Qt::WA_Hover);
}

void FlatButton::SetGlyph(const QImage& glyph) {
  glyph_ = KeyedPixmap(glyph);
  update();
}

QSize FlatButton::sizeHint() const {
  if (!glyph_.isNull()) return LogicalSize(glyph_) + QSize(4, 4);
  return fontMetrics().size(Qt::TextSingleLine, text()) + QSize(8, 6);
}

void FlatButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect edge = rect();  // right() and bottom() are the last pixels
  const QColor light = palette().color(QPalette::Light);
  const QColor shadow = palette().color(QPalette::Dark);
  const bool down = isDown();
  // Held with the pointer moved off, the button is neither down nor hot: the
  // grab keeps it "under the mouse" until the release.
  const bool held = QGuiApplication::mouseButtons() & Qt::LeftButton;
  const bool hot = down || (underMouse() && !held);
  if (hot) {
    // Raised: light above and left, shadow below and right; sunken the reverse.
    p.setPen(down ? shadow : light);
    p.drawLine(edge.topLeft(), edge.topRight());
    p.drawLine(edge.topLeft(), edge.bottomLeft());
    p.setPen(down ? light : shadow);
    p.drawLine(edge.bottomLeft(), edge.bottomRight());
    p.drawLine(edge.topRight(), edge.bottomRight());
  }
  const QPoint shift = down ? QPoint(1, 1) : QPoint(0, 0);
  if (!glyph_.isNull()) {
    const QSize glyph = LogicalSize(glyph_);
    const QPoint at((width() - glyph.width()) / 2, (height() - glyph.height()) / 2);
    p.drawPixmap(at + shift, glyph_);
  }
  if (!text().isEmpty()) {
    DrawOutlinedText(p, rect().translated(shift), Qt::AlignCenter, text(), palette().color(QPalette::ButtonText));
  }
  if (hasFocus()) DrawFocusMark(p, rect().adjusted(1, 1, -2, -2));
}

void FlatButton::keyPressEvent(QKeyEvent* event) {
  // Space is the button's own (pressed on the key's press, acting on its
  // release); Enter acts at once.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    click();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void DrawFocusMark(QPainter& p, const QRect& frame) {
  // White under black dots: seen on the starry sky and on the clouds alike.
  p.save();
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 1));
  p.drawRect(frame);
  p.setPen(QPen(Qt::black, 1, Qt::DotLine));
  p.drawRect(frame);
  p.restore();
}

void DrawOutlinedText(QPainter& p, const QRect& frame, int flags, const QString& text, const QColor& colour) {
  p.save();
  p.setPen(QColor(0, 0, 0, 90));
  for (const QPoint step : {QPoint(-1, -1), QPoint(0, -1), QPoint(1, -1), QPoint(-1, 0), QPoint(1, 0), QPoint(-1, 1),
                            QPoint(0, 1), QPoint(1, 1)}) {
    p.drawText(frame.translated(step), flags, text);
  }
  p.setPen(colour);
  p.drawText(frame, flags, text);
  p.restore();
}
