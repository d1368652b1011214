// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A caption laid on the artwork: its letters ringed by a dark outline, so that
// white text stays readable over the light clouds.
#pragma once

#include <QLabel>

class OutlinedLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
