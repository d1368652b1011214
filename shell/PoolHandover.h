// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Makes the pool's changes on the window's thread. A relay thread's change is
// queued here, and the thread either waits for it or (a verdict) goes on at
// once; the window's event loop (a message box's or the file dialog's
// included) runs what is queued, in order. The window never waits for a relay
// thread, so the two cannot block each other; a verdict that comes during an
// import simply lands after it.
#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "pool/ProxyPool.h"

class PoolHandover : public PoolOwner {
 public:
  // Runs the queue on `receiver`'s thread, through its event loop; a posted
  // change's error goes to `failed` there, as a handler's would.
  using ErrorHandler = std::function<void(const std::exception&)>;
  PoolHandover(QObject* receiver, ErrorHandler failed) : receiver_(receiver), failed_(std::move(failed)) {}

  bool OnOwnerThread() const override;
  bool RunThere(const std::function<void()>& change) override;
  bool Post(std::function<void()> change) override;
  // Makes every change queued so far; on the window's thread.
  void RunQueued();
  // The window is going: nothing more is queued, the threads still waiting
  // make their changes themselves (the pool then runs them on their own
  // threads), and posted changes are made here, unheard. Never touches the
  // receiver again.
  void Close();

 private:
  struct Task {
    const std::function<void()>* change;
    enum { Waiting, Ran, Refused } state = Waiting;
    // A posted change, owned by the queue; nobody waits for it.
    std::unique_ptr<std::function<void()>> posted;
  };
  // Queues `task` and asks the receiver to run the queue; with `mutex_` held.
  void Enqueue(Task* task);

  QObject* const receiver_;
  const ErrorHandler failed_;
  std::mutex mutex_;
  std::condition_variable settled_;
  std::deque<Task*> queue_;
  bool posted_ = false;
  bool closed_ = false;
};
