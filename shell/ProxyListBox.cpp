// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/ProxyListBox.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <optional>
#include <string>

ProxyListBox::ProxyListBox(QWidget* parent) : QListView(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setDragEnabled(false);
  setFocusPolicy(Qt::StrongFocus);
}

void ProxyListBox::setModel(QAbstractItemModel* model) {
  QListView::setModel(model);
  model_ = qobject_cast<ProxyListModel*>(model);
}

int ProxyListBox::SelectedRow() const {
  if (!selectionModel()) return -1;
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ProxyListBox::SelectRow(int row) {
  if (!selectionModel()) return;
  if (row < 0 || row >= model()->rowCount()) {
    selectionModel()->clearSelection();
    return;
  }
  selectionModel()->setCurrentIndex(model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

void ProxyListBox::ApplyChanges(const std::vector<PoolChange>& changes) {
  if (!model_) return;
  const bool replaced = std::any_of(changes.begin(), changes.end(), [](const PoolChange& change) {
    return change.kind == PoolChange::Kind::Replaced;
  });
  if (replaced) {
    ApplyReplacing(changes);
    return;
  }
  if (changes.size() <= kRowByRow) {
    for (const PoolChange& change : changes) {
      const bool chosenGoes =
          change.kind == PoolChange::Kind::Removed && static_cast<int>(change.index) == SelectedRow();
      model_->Apply(change);
      // The view would choose the next row in its place; a list box that loses
      // its chosen entry has none chosen.
      if (chosenGoes) selectionModel()->clearSelection();
    }
    return;
  }
  int selected = SelectedRow();
  int current = currentIndex().row();
  int top = verticalScrollBar()->value();
  for (const PoolChange& change : changes) {
    selected = FollowRow(selected, change);
    current = FollowRow(current, change);
    // The top row keeps its place even when it goes: the next one moves up.
    const int followed = FollowRow(top, change);
    top = followed < 0 ? top : followed;
  }
  model_->ApplyAll(changes);
  if (current >= 0) {
    selectionModel()->setCurrentIndex(model_->index(current, 0), QItemSelectionModel::NoUpdate);
  }
  if (selected >= 0) {
    selectionModel()->select(model_->index(selected, 0), QItemSelectionModel::ClearAndSelect);
  }
  verticalScrollBar()->setValue(top);
}

void ProxyListBox::ApplyReplacing(const std::vector<PoolChange>& changes) {
  // Row numbers mean nothing across a whole new list; the entries the
  // selection, the caret and the top row were on are found again by their
  // text, the rows being in order.
  auto entryOf = [this](int row) -> std::optional<std::string> {
    if (row < 0 || row >= model_->rowCount()) return std::nullopt;
    return std::string(model_->EntryAt(row));
  };
  const std::optional<std::string> selected = entryOf(SelectedRow());
  const std::optional<std::string> current = entryOf(currentIndex().row());
  const std::optional<std::string> top = entryOf(verticalScrollBar()->value());
  model_->ApplyAll(changes);
  // An entry that is gone leaves nothing selected, as a removal does.
  auto rowOf = [this](const std::optional<std::string>& entry) {
    if (!entry) return -1;
    const int row = model_->LowerBound(*entry);
    return row < model_->rowCount() && model_->EntryAt(row) == *entry ? row : -1;
  };
  if (const int row = rowOf(current); row >= 0) {
    selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
  }
  if (const int row = rowOf(selected); row >= 0) {
    selectionModel()->select(model_->index(row, 0), QItemSelectionModel::ClearAndSelect);
  }
  if (top) verticalScrollBar()->setValue(model_->LowerBound(*top));
}

void ProxyListBox::mousePressEvent(QMouseEvent* event) {
  // A list box selects with the left button only.
  if (event->button() != Qt::LeftButton) {
    event->accept();
    return;
  }
  QListView::mousePressEvent(event);
  emit UserSelected();
}

void ProxyListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->accept();
    return;
  }
  QListView::mouseDoubleClickEvent(event);
  emit UserSelected();
}

void ProxyListBox::mouseMoveEvent(QMouseEvent* event) {
  const int before = SelectedRow();
  QListView::mouseMoveEvent(event);
  if ((event->buttons() & Qt::LeftButton) && SelectedRow() != before) emit UserSelected();
}

void ProxyListBox::keyPressEvent(QKeyEvent* event) {
  const int before = SelectedRow();
  // With nothing chosen, the first arrow key chooses the row under the caret
  // (the first row) rather than stepping past it.
  const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
  if (before < 0 && arrow && model() && model()->rowCount() > 0) {
    SelectRow(currentIndex().isValid() ? currentIndex().row() : 0);
    event->accept();
    emit UserSelected();
    return;
  }
  QListView::keyPressEvent(event);
  if (SelectedRow() != before) emit UserSelected();
}

QItemSelectionModel::SelectionFlags ProxyListBox::selectionCommand(const QModelIndex& index,
                                                                   const QEvent*) const {
  // Neither Ctrl nor a click beside the rows takes the selection away: once a
  // row is chosen, one stays chosen.
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
}
