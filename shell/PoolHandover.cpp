// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/PoolHandover.h"

#include <QThread>

bool PoolHandover::OnOwnerThread() const {
  return QThread::currentThread() == receiver_->thread();
}

bool PoolHandover::RunThere(const std::function<void()>& change) {
  Task task{&change};
  std::unique_lock lock(mutex_);
  if (closed_) return false;
  queue_.push_back(&task);
  if (!posted_) {
    // One posted call drains whatever is queued by the time it runs.
    posted_ = true;
    QMetaObject::invokeMethod(receiver_, [this] { RunQueued(); }, Qt::QueuedConnection);
  }
  settled_.wait(lock, [&] { return task.state != Task::Waiting; });
  return task.state == Task::Ran;
}

void PoolHandover::RunQueued() {
  std::unique_lock lock(mutex_);
  posted_ = false;
  while (!queue_.empty()) {
    Task* task = queue_.front();
    queue_.pop_front();
    lock.unlock();
    // The pool's own wrapper keeps every error for the waiting thread.
    (*task->change)();
    lock.lock();
    task->state = Task::Ran;
    settled_.notify_all();
  }
}

void PoolHandover::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  for (Task* task : queue_) task->state = Task::Refused;
  queue_.clear();
  settled_.notify_all();
}
