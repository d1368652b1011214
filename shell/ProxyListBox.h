// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A list box over one proxy list: single selection, and a notification for
// the user's own selecting (clicks, selection keys) only. Rows that the program
// adds, removes or reselects never notify, so a verdict on a relay thread or an
// import cannot run a list's handler.
#pragma once

#include <QListView>

#include <vector>

#include "pool/ProxyPool.h"
#include "shell/ProxyListModel.h"

class ProxyListBox : public QListView {
  Q_OBJECT

 public:
  explicit ProxyListBox(QWidget* parent = nullptr);

  void setModel(QAbstractItemModel* model) override;
  ProxyListModel* ListModel() const { return model_; }
  // -1 when no row is selected.
  int SelectedRow() const;
  void SelectRow(int row);
  // Applies changes of the shown list, keeping selection, current row and
  // scroll position on the entries they were on.
  void ApplyChanges(const std::vector<PoolChange>& changes);
  // Places the rows now if a change left that for later.
  void LayOut() { executeDelayedItemsLayout(); }

 signals:
  void UserSelected();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event = nullptr) const override;

 private:
  // ApplyChanges where one of them is a whole new list.
  void ApplyReplacing(const std::vector<PoolChange>& changes);

  // Up to this many changes are shown one by one; more are applied in one go.
  static constexpr std::size_t kRowByRow = 32;

  ProxyListModel* model_ = nullptr;
};
