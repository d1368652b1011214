// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Threads for the relay's work, each piece of work on a thread of its own for
// as long as it runs. A thread whose work has ended waits a few seconds for
// the next piece instead of ending: starting and ending two threads was most
// of what a short relayed connection cost. Nothing bounds the threads at work;
// only the idle ones are bounded, and they leave nothing of their last work
// behind.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

#include "net/SizedThread.h"

// The stack every such thread has: the deepest use, a connection thread's
// name lookup through the resolver, is about 20 KiB (bench/stack_depth); the
// rest is margin, for a verdict's pool operations too.
inline constexpr std::size_t kWorkStackBytes = 256 * 1024 * kStackScale;

// At most this many threads wait for work at once; one more ends instead.
inline constexpr std::size_t kMaxIdleThreads = 64;
// How long a thread waits for work before it ends.
inline constexpr std::chrono::milliseconds kIdleThreadWait{5000};

// One piece of work, move-only (it may own a connection).
class ThreadWork {
 public:
  virtual ~ThreadWork() = default;
  virtual void Run() = 0;
};

// Runs `work` on an idle thread if one waits, else on a new one. Throws
// std::system_error when no thread can be had, or std::bad_alloc; `work` is
// then destroyed unrun.
void RunWorkOnThread(std::unique_ptr<ThreadWork> work);

// The same for any callable.
template <typename Body>
void RunOnThread(Body&& body) {
  struct Held : ThreadWork {
    explicit Held(Body&& b) : body(std::forward<Body>(b)) {}
    void Run() override { body(); }
    std::decay_t<Body> body;
  };
  RunWorkOnThread(std::make_unique<Held>(std::forward<Body>(body)));
}

// Threads now waiting for work (tests and benches look).
std::size_t IdleThreadCount();
