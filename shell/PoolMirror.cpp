// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/PoolMirror.h"

#include <QMetaObject>

#include <optional>
#include <utility>

#include "shell/ProxyListBox.h"

PoolMirror::PoolMirror(ProxyPool& pool, QObject* parent) : QObject(parent), pool_(pool) {
  // The listener only queues; the queue is drained on this thread later, so
  // the models can take the snapshot after the listener is in place.
  PoolSnapshot snapshot;
  listenerId_ = pool_.AddListener([this](const PoolChange& change) { Enqueue(change); }, snapshot);
  for (ProxyListId list : {lstAll, lstWorking, lstFailed}) {
    Model(list)->Assign(snapshot.lists[Slot(list)]);
  }
}

PoolMirror::~PoolMirror() {
  Detach();
}

void PoolMirror::Detach() {
  if (listenerId_ < 0) return;
  pool_.RemoveListener(listenerId_);
  listenerId_ = -1;
}

void PoolMirror::Enqueue(const PoolChange& change) {
  bool post = false;
  {
    std::lock_guard<std::mutex> hold(queue_->lock);
    queue_->changes.push_back(change);
    post = !std::exchange(queue_->drainPosted, true);
  }
  // Detach waits for this call to end, so `this` is alive here; a posted call
  // to an object destroyed later is dropped with it.
  if (post) QMetaObject::invokeMethod(this, &PoolMirror::Drain, Qt::QueuedConnection);
}

void PoolMirror::Drain() {
  std::vector<PoolChange> changes;
  {
    std::lock_guard<std::mutex> hold(queue_->lock);
    changes.swap(queue_->changes);
    queue_->drainPosted = false;
  }
  if (changes.empty()) return;

  std::array<std::vector<PoolChange>, 3> perList;
  std::array<std::optional<std::string>, 2> fields;
  for (PoolChange& change : changes) {
    if (change.kind == PoolChange::Kind::FieldText) {
      fields[static_cast<std::size_t>(change.field)] = std::move(change.text);
    } else {
      perList[Slot(change.list)].push_back(std::move(change));
    }
  }
  for (std::size_t i = 0; i < perList.size(); ++i) {
    if (perList[i].empty()) continue;
    if (views_[i]) {
      views_[i]->ApplyChanges(perList[i]);
    } else {
      models_[i].ApplyAll(perList[i]);
    }
  }
  for (FieldId field : {edtHost, edtPort}) {
    const auto& text = fields[static_cast<std::size_t>(field)];
    if (text)
      emit FieldChanged(field, QString::fromLatin1(text->data(), static_cast<qsizetype>(text->size())));
  }
}
