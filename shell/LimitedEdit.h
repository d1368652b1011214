// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A one-line field whose typing limit binds the user alone: text the program
// puts in stays whole, however long. (QLineEdit's own limit would cut it.)
#pragma once

#include <QLineEdit>

class LimitedEdit : public QLineEdit {
  Q_OBJECT

 public:
  LimitedEdit(int typingLimit, QWidget* parent = nullptr);

  // Replaces the text unless it is the same already, so that the cursor and
  // selection stay where the user left them.
  void SetProgramText(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The line edit's own limit follows the text: never below what is there
  // (nothing is cut), never above the typing limit once the user has brought
  // the text under it.
  void Relimit();

  int typingLimit_;
};
