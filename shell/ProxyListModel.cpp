// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/ProxyListModel.h"

#include <QSize>
#include <QString>

ProxyListModel::ProxyListModel(ProxyPool& pool, ProxyListId list, QObject* parent)
    : QAbstractListModel(parent), pool_(pool), list_(list), rows_(static_cast<int>(pool.Count(list))) {}

int ProxyListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

QVariant ProxyListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return {};
  switch (role) {
    case Qt::DisplayRole: {
      // Entries are single-byte text; Latin-1 shows every byte as one character.
      const std::string entry = EntryAt(index.row());
      return QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size()));
    }
    case Qt::SizeHintRole:
      return QSize(0, kRowHeight);
    default:
      return {};
  }
}

std::string ProxyListModel::EntryAt(int row) const {
  try {
    return row < 0 ? std::string() : pool_.EntryAt(list_, static_cast<std::size_t>(row));
  } catch (const EListError&) {
    return {};
  }
}

void ProxyListModel::Hear(const PoolChange& change) {
  if (change.list != list_) return;
  const int row = static_cast<int>(change.index);
  switch (change.kind) {
    case PoolChange::Kind::Inserted:
      beginInsertRows(QModelIndex(), row, row);
      ++rows_;
      endInsertRows();
      break;
    case PoolChange::Kind::Removed:
      beginRemoveRows(QModelIndex(), row, row);
      --rows_;
      endRemoveRows();
      break;
    case PoolChange::Kind::Replacing:
      beginResetModel();
      break;
    case PoolChange::Kind::Replaced:
      rows_ = static_cast<int>(pool_.Count(list_));
      endResetModel();
      break;
    case PoolChange::Kind::FieldText:
      break;
  }
}
