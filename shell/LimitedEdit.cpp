// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/LimitedEdit.h"

#include <QPainter>

#include <algorithm>

#include "shell/FlatButton.h"

LimitedEdit::LimitedEdit(int typingLimit, QWidget* parent) : QLineEdit(parent), typingLimit_(typingLimit) {
  setMaxLength(typingLimit_);
  connect(this, &QLineEdit::textChanged, this, &LimitedEdit::Relimit);
}

void LimitedEdit::SetProgramText(const QString& text) {
  if (text == this->text()) return;
  setMaxLength(std::max(typingLimit_, static_cast<int>(text.size())));
  setText(text);
}

void LimitedEdit::Relimit() {
  setMaxLength(std::max(typingLimit_, static_cast<int>(text().size())));
}

void LimitedEdit::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  // Without a frame, an empty field would show its focus only by a blinking caret.
  if (!hasFocus()) return;
  QPainter painter(this);
  DrawFocusMark(painter, rect().adjusted(0, 0, -1, -1));
}
