// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/ProxyListModel.h"

#include <QSize>
#include <QString>

int FollowRow(int row, const PoolChange& change) {
  if (row < 0) return row;
  const int at = static_cast<int>(change.index);
  switch (change.kind) {
    case PoolChange::Kind::Inserted:
      return at <= row ? row + 1 : row;
    case PoolChange::Kind::Removed:
      if (at == row) return -1;
      return at < row ? row - 1 : row;
    case PoolChange::Kind::FieldText:
    case PoolChange::Kind::Replaced:
      break;
  }
  return row;
}

ProxyListModel::ProxyListModel(QObject* parent) : QAbstractListModel(parent) {}

int ProxyListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.Size());
}

QModelIndex ProxyListModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column != 0 || parent.isValid() || static_cast<std::size_t>(row) >= entries_.Size()) return {};
  return createIndex(row, column);
}

QVariant ProxyListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  switch (role) {
    case Qt::DisplayRole: {
      // Entries are single-byte text; Latin-1 shows every byte as one character.
      const std::string_view entry = EntryAt(index.row());
      return QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size()));
    }
    case Qt::SizeHintRole:
      return QSize(0, kRowHeight);
    default:
      return {};
  }
}

void ProxyListModel::Assign(const std::vector<std::string>& entries) {
  beginResetModel();
  entries_.Assign(entries);
  endResetModel();
}

bool ProxyListModel::Fits(const PoolChange& change) const {
  // A change the copy cannot take means it missed one; better a stale row than
  // a crash.
  switch (change.kind) {
    case PoolChange::Kind::Inserted:
      return change.index <= entries_.Size();
    case PoolChange::Kind::Removed:
      return change.index < entries_.Size();
    case PoolChange::Kind::Replaced:
      return change.entries != nullptr;
    case PoolChange::Kind::FieldText:
      break;
  }
  return false;
}

void ProxyListModel::Apply(const PoolChange& change) {
  if (!Fits(change)) return;
  const int row = static_cast<int>(change.index);
  switch (change.kind) {
    case PoolChange::Kind::Inserted:
      beginInsertRows(QModelIndex(), row, row);
      ApplyQuietly(change);
      endInsertRows();
      break;
    case PoolChange::Kind::Removed:
      beginRemoveRows(QModelIndex(), row, row);
      ApplyQuietly(change);
      endRemoveRows();
      break;
    case PoolChange::Kind::Replaced:
      beginResetModel();
      ApplyQuietly(change);
      endResetModel();
      break;
    case PoolChange::Kind::FieldText:
      break;
  }
}

void ProxyListModel::ApplyAll(const std::vector<PoolChange>& changes) {
  beginResetModel();
  for (const PoolChange& change : changes) ApplyQuietly(change);
  endResetModel();
}

void ProxyListModel::ApplyQuietly(const PoolChange& change) {
  if (!Fits(change)) return;
  if (change.kind == PoolChange::Kind::Inserted) {
    entries_.Insert(change.index, change.text);
  } else if (change.kind == PoolChange::Kind::Removed) {
    entries_.Remove(change.index);
  } else if (change.kind == PoolChange::Kind::Replaced) {
    // The queue's copy is normally the last holder: then the list is taken
    // over whole instead of copied.
    if (change.entries.use_count() == 1) {
      entries_ = std::move(*change.entries);
    } else {
      entries_ = *change.entries;
    }
  }
}
