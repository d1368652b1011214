// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A picture drawn unscaled from the top-left corner and cut off at the
// control's edge.
#pragma once

#include <QPixmap>
#include <QWidget>

class Picture : public QWidget {
  Q_OBJECT

 public:
  Picture(const QPixmap& pixmap, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap pixmap_;
};
