// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/ProxyListBox.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "shell/FlatButton.h"

#include <optional>

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
  model_ = qobject_cast<ProxyListModel*>(model);
  if (model_) {
    // Ahead of the view's own handling, which chooses the next row in the
    // place of a removed chosen one: a list box that loses its chosen entry
    // has none chosen.
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this](const QModelIndex&, int first, int last) {
      const int selected = SelectedRow();
      chosenGoes_ = selected >= first && selected <= last;
    });
  }
  QListView::setModel(model);
  if (!model_) return;
  connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] {
    if (chosenGoes_) selectionModel()->clearSelection();
    chosenGoes_ = false;
  });
  connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, &ProxyListBox::KeepPlaces);
  connect(model_, &QAbstractItemModel::modelReset, this, &ProxyListBox::RestorePlaces);
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

void ProxyListBox::KeepPlaces() {
  // Row numbers mean nothing across a whole new list: the entries are kept
  // and found again.
  selected_ = model_->EntryAt(SelectedRow());
  current_ = model_->EntryAt(currentIndex().row());
  top_ = model_->EntryAt(verticalScrollBar()->value());
}

void ProxyListBox::RestorePlaces() {
  ProxyPool& pool = model_->Pool();
  auto rowOf = [&](const std::string& entry) {
    const std::optional<std::size_t> at = entry.empty() ? std::nullopt : pool.PositionOf(model_->List(), entry);
    return at ? static_cast<int>(*at) : -1;
  };
  if (const int row = rowOf(current_); row >= 0) {
    selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
  }
  if (const int row = rowOf(selected_); row >= 0) {
    selectionModel()->select(model_->index(row, 0), QItemSelectionModel::ClearAndSelect);
  }
  if (const int row = rowOf(top_); row >= 0) verticalScrollBar()->setValue(row);
}

void ProxyListBox::paintEvent(QPaintEvent* event) {
  QListView::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(viewport());
  DrawFocusMark(painter, viewport()->rect().adjusted(0, 0, -1, -1));
}

void ProxyListBox::focusInEvent(QFocusEvent* event) {
  QListView::focusInEvent(event);
  viewport()->update();
}

void ProxyListBox::focusOutEvent(QFocusEvent* event) {
  QListView::focusOutEvent(event);
  viewport()->update();
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
    const int row = currentIndex().isValid() ? currentIndex().row() : 0;
    // Made current anew, even where the caret already was: a screen reader
    // hears the row as it hears every later arrow's.
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    SelectRow(row);
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
