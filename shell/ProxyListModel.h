// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// One proxy list as the window shows it: a copy that follows the pool's
// changes in the order the pool made them.
#pragma once

#include <QAbstractListModel>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pool/ProxyPool.h"
#include "pool/EntryStore.h"

// Where a row ends up after one change of its list; -1 once it is removed.
int FollowRow(int row, const PoolChange& change);

class ProxyListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  // Every row is this tall: five rows fill a list box.
  static constexpr int kRowHeight = 16;

  explicit ProxyListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  // The list box asks for every row's index when it lays a new list out: a
  // bounds check here instead of two virtual calls per row.
  QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Valid until the model next changes.
  std::string_view EntryAt(int row) const { return entries_.At(static_cast<std::size_t>(row)); }
  // The first row whose entry is not less than `entry` (the rows are in the
  // pool's order).
  int LowerBound(std::string_view entry) const { return static_cast<int>(entries_.LowerBound(entry)); }

  void Assign(const std::vector<std::string>& entries);
  // Row by row, so that views keep their selection and scroll position; a
  // Replaced change resets the model.
  void Apply(const PoolChange& change);
  // All at once behind one reset: views must restore their state themselves.
  void ApplyAll(const std::vector<PoolChange>& changes);

 private:
  bool Fits(const PoolChange& change) const;
  void ApplyQuietly(const PoolChange& change);

  EntryStore entries_;
};
