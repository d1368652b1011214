// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "net/ReusedThreads.h"

#include <pthread.h>

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "net/Wakeup.h"

namespace {

// One thread, between two pieces of work.
struct Waiting {
  std::unique_ptr<ThreadWork> work;
  Wakeup handed;
};

// The threads waiting for work, newest last: the newest is handed the next
// piece, so that a quiet spell lets the oldest end first.
class IdleThreads {
 public:
  bool Hand(std::unique_ptr<ThreadWork>& work) {
    Waiting* thread = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (waiting_.empty()) return false;
      thread = waiting_.back();
      waiting_.pop_back();
      thread->work = std::move(work);
    }
    // Out of the list: nothing but this call ends its wait now.
    thread->handed.Tell();
    return true;
  }

  // The next piece of work for the calling thread, or false when it is to end.
  bool Wait(Waiting& self) {
    {
      std::lock_guard lock(mutex_);
      if (waiting_.size() >= kMaxIdleThreads) return false;
      self.handed.Reset();
      waiting_.push_back(&self);
    }
    if (self.handed.WaitFor(kIdleThreadWait)) return true;
    {
      std::lock_guard lock(mutex_);
      const auto at = std::find(waiting_.begin(), waiting_.end(), &self);
      if (at != waiting_.end()) {
        waiting_.erase(at);
        return false;
      }
    }
    // Handed work as the wait ran out: the telling is on its way, and must
    // land before the next Reset.
    self.handed.Wait();
    return true;
  }

  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return waiting_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<Waiting*> waiting_;
};

IdleThreads* NewIdleThreads() {
  // Never destroyed: idle threads may still be waiting when the process exits.
  return new IdleThreads;
}

IdleThreads& Idle() {
  static IdleThreads* idle = [] {
    // A child of fork has none of the parent's threads: it starts with no
    // idle one (and a lock no thread of the parent may be holding).
    ::pthread_atfork(nullptr, nullptr, [] { idle = NewIdleThreads(); });
    return NewIdleThreads();
  }();
  return *idle;
}

void WorkUntilIdleTooLong(std::unique_ptr<ThreadWork> first) {
  Waiting self;
  self.work = std::move(first);
  do {
    try {
      self.work->Run();
    } catch (...) {
      // The work's own failure ends that work; the thread goes on.
    }
    // What the work held (a connection's record, its socket) goes now, not
    // when the next work comes.
    self.work = nullptr;
  } while (Idle().Wait(self));
}

}  // namespace

void RunWorkOnThread(std::unique_ptr<ThreadWork> work) {
  if (Idle().Hand(work)) return;
  StartSizedThread(kWorkStackBytes, [work = std::move(work)]() mutable { WorkUntilIdleTooLong(std::move(work)); });
}

std::size_t IdleThreadCount() {
  return Idle().Count();
}
