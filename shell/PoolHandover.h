// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Makes the pool's changes on the window's thread. A relay thread's change is
// queued here and the thread waits; the window's event loop (a message box's
// or the file dialog's included) runs what is queued, in order. The window
// never waits for a relay thread, so the two cannot block each other; a
// verdict that comes during an import simply waits for the import to end.
#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "pool/ProxyPool.h"

class PoolHandover : public PoolOwner {
 public:
  // Runs the queue on `receiver`'s thread, through its event loop.
  explicit PoolHandover(QObject* receiver) : receiver_(receiver) {}

  bool OnOwnerThread() const override;
  bool RunThere(const std::function<void()>& change) override;
  // Makes every change queued so far; on the window's thread.
  void RunQueued();
  // The window is going: nothing more is queued, and the threads still
  // waiting make their changes themselves (the pool then runs them on their
  // own threads). Never touches the receiver again.
  void Close();

 private:
  struct Task {
    const std::function<void()>* change;
    enum { Waiting, Ran, Refused } state = Waiting;
  };

  QObject* const receiver_;
  std::mutex mutex_;
  std::condition_variable settled_;
  std::deque<Task*> queue_;
  bool posted_ = false;
  bool closed_ = false;
};
