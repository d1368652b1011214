// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A thread like std::thread, but with a stack of a size chosen by its creator.
// The relay starts two threads per connection; with glibc's default 8 MiB stack
// nearly every one maps and unmaps a fresh stack (glibc keeps only 40 MiB of
// freed stacks for reuse), which costs more than the rest of a short
// connection's work.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

// Instrumented builds (the sanitizers) use several times the stack of a plain
// one; every stack size in the program is scaled by this.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr std::size_t kStackScale = 4;
#else
inline constexpr std::size_t kStackScale = 1;
#endif

class SizedThread {
 public:
  SizedThread() = default;
  // Runs `body` at once on a new thread with a stack of `stackBytes`. Throws
  // std::system_error when no thread can be had and std::bad_alloc when its
  // record cannot, like std::thread; `body` is then destroyed here.
  template <typename Body>
  SizedThread(std::size_t stackBytes, Body&& body) {
    using Held = std::decay_t<Body>;
    auto held = std::make_unique<Held>(std::forward<Body>(body));
    Start(stackBytes, &Run<Held>, held.get());
    held.release();  // the thread owns it now
  }
  SizedThread(SizedThread&& other) noexcept : id_(other.id_), joinable_(std::exchange(other.joinable_, false)) {}
  // Like std::thread, taking over while still running a thread is a fault.
  SizedThread& operator=(SizedThread&& other) noexcept;
  SizedThread(const SizedThread&) = delete;
  SizedThread& operator=(const SizedThread&) = delete;
  // A thread still joinable here is a fault of the owner, as with std::thread.
  ~SizedThread();

  bool Joinable() const { return joinable_; }
  void Join();
  void Detach();

 private:
  template <typename Held>
  static void* Run(void* raw) {
    const std::unique_ptr<Held> held(static_cast<Held*>(raw));
    (*held)();
    return nullptr;
  }
  void Start(std::size_t stackBytes, void* (*entry)(void*), void* argument);

  pthread_t id_{};
  bool joinable_ = false;
};
