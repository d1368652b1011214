// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A list box over one proxy list: single selection, and a notification for
// the user's own selecting (clicks, selection keys) only. Rows that the program
// adds, removes or reselects never notify, so a verdict on a relay thread or an
// import cannot run a list's handler.
#pragma once

#include <QListView>

#include <string>

#include "pool/ProxyPool.h"
#include "shell/ProxyListModel.h"

class ProxyListBox : public QListView {
  Q_OBJECT

 public:
  explicit ProxyListBox(QWidget* parent = nullptr);

  // Across a change of the whole list (an import), the selection, the caret
  // and the top row stay on the entries they were on; a row that goes takes
  // the selection with it.
  void setModel(QAbstractItemModel* model) override;
  ProxyListModel* ListModel() const { return model_; }
  // -1 when no row is selected.
  int SelectedRow() const;
  void SelectRow(int row);
  // Places the rows now if a change left that for later.
  void LayOut() { executeDelayedItemsLayout(); }

 signals:
  void UserSelected();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event = nullptr) const override;

 private:
  void KeepPlaces();
  void RestorePlaces();

  ProxyListModel* model_ = nullptr;
  // The entries under the selection, the caret and the top row, while the
  // list is being replaced.
  std::string selected_, current_, top_;
  bool chosenGoes_ = false;
};
