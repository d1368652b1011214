// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/PoolHandover.h"

#include <QThread>

bool PoolHandover::OnOwnerThread() const {
  return QThread::currentThread() == receiver_->thread();
}

void PoolHandover::Enqueue(Task* task) {
  queue_.push_back(task);
  if (!posted_) {
    // One posted call drains whatever is queued by the time it runs.
    posted_ = true;
    QMetaObject::invokeMethod(receiver_, [this] { RunQueued(); }, Qt::QueuedConnection);
  }
}

bool PoolHandover::RunThere(const std::function<void()>& change) {
  Task task{&change, Task::Waiting, nullptr};
  std::unique_lock lock(mutex_);
  if (closed_) return false;
  Enqueue(&task);
  settled_.wait(lock, [&] { return task.state != Task::Waiting; });
  return task.state == Task::Ran;
}

bool PoolHandover::Post(std::function<void()> change) {
  auto task = std::make_unique<Task>();
  task->posted = std::make_unique<std::function<void()>>(std::move(change));
  task->change = task->posted.get();
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  Enqueue(task.release());
  return true;
}

void PoolHandover::RunQueued() {
  std::unique_lock lock(mutex_);
  posted_ = false;
  while (!queue_.empty()) {
    Task* task = queue_.front();
    queue_.pop_front();
    lock.unlock();
    if (task->posted) {
      const std::unique_ptr<Task> owned(task);
      try {
        (*task->change)();
      } catch (const std::exception& error) {
        failed_(error);
      }
      lock.lock();
      continue;
    }
    // The pool's own wrapper keeps every error for the waiting thread.
    (*task->change)();
    lock.lock();
    task->state = Task::Ran;
    settled_.notify_all();
  }
}

void PoolHandover::Close() {
  std::deque<std::unique_ptr<Task>> posted;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (Task* task : queue_) {
      // A waiting task lives on its thread's stack, gone once it is told.
      if (task->posted) {
        posted.emplace_back(task);
      } else {
        task->state = Task::Refused;
      }
    }
    queue_.clear();
    settled_.notify_all();
  }
  for (const auto& task : posted) {
    try {
      (*task->change)();
    } catch (const std::exception&) {
      // The window that would have shown it is gone.
    }
  }
}
