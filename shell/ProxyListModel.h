// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// One proxy list as the window shows it: the pool's own list, read row by row
// as the view asks. The pool's changes are made on the window's thread, and
// each reaches the model (Hear) right after it is made.
#pragma once

#include <QAbstractListModel>

#include <string>

#include "pool/ProxyPool.h"

class ProxyListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  // Every row is this tall: five rows fill a list box.
  static constexpr int kRowHeight = 16;

  ProxyListModel(ProxyPool& pool, ProxyListId list, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // The entry at `row` as the pool has it now; empty past the end.
  std::string EntryAt(int row) const;
  ProxyListId List() const { return list_; }
  ProxyPool& Pool() const { return pool_; }
  // One change of the pool, just made; changes of other lists pass by.
  void Hear(const PoolChange& change);

 private:
  ProxyPool& pool_;
  const ProxyListId list_;
  // The rows the views have been told of: a change is made before it is told.
  int rows_ = 0;
};
