// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Carries the pool's changes to the window's thread. The pool tells its
// listeners on whichever thread made the change (relay threads too); the
// listener here only queues the change, and one queued call on the window's
// thread drains everything queued so far, in order. A burst of changes (an
// import of a large file) thus costs one drain, not one call per change.
#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "pool/ProxyPool.h"
#include "shell/ProxyListModel.h"

class ProxyListBox;

class PoolMirror : public QObject {
  Q_OBJECT

 public:
  // Copies the pool as it stands and listens from then on, in one step: relay
  // threads may change the pool meanwhile.
  explicit PoolMirror(ProxyPool& pool, QObject* parent = nullptr);
  ~PoolMirror() override;

  ProxyListModel* Model(ProxyListId list) { return &models_[Slot(list)]; }
  // The views that show the lists; changes reach the models through them.
  void SetView(ProxyListId list, ProxyListBox* view) { views_[Slot(list)] = view; }
  // Stops listening; nothing queued afterwards reaches the window. Returns
  // once no listener call is running.
  void Detach();

  // Applies everything queued so far.
  void Drain();

 signals:
  // The last text a field was given by the pool in one drain.
  void FieldChanged(FieldId field, const QString& text);

 private:
  struct Queue {
    std::mutex lock;
    std::vector<PoolChange> changes;
    bool drainPosted = false;
  };

  static std::size_t Slot(ProxyListId list) { return static_cast<std::size_t>(list); }
  void Enqueue(const PoolChange& change);

  ProxyPool& pool_;
  int listenerId_ = -1;
  std::shared_ptr<Queue> queue_ = std::make_shared<Queue>();
  std::array<ProxyListModel, 3> models_;
  std::array<ProxyListBox*, 3> views_{};
};
