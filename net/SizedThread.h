// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A detached thread with a stack of a size chosen by its creator.
// The relay starts two threads per connection; with glibc's default 8 MiB stack
// nearly every one maps and unmaps a fresh stack (glibc keeps only 40 MiB of
// freed stacks for reuse), which costs more than the rest of a short
// connection's work.
#pragma once

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

// Runs `body` at once on a new detached thread with a stack of `stackBytes`.
// Throws std::system_error when no thread can be had and std::bad_alloc when
// its record cannot, like std::thread; `body` is then destroyed here.
template <typename Body>
void StartSizedThread(std::size_t stackBytes, Body&& body);

namespace sized_thread {
void Start(std::size_t stackBytes, void* (*entry)(void*), void* argument);
template <typename Held>
void* Run(void* raw) {
  const std::unique_ptr<Held> held(static_cast<Held*>(raw));
  (*held)();
  return nullptr;
}
}  // namespace sized_thread

template <typename Body>
void StartSizedThread(std::size_t stackBytes, Body&& body) {
  using Held = std::decay_t<Body>;
  auto held = std::make_unique<Held>(std::forward<Body>(body));
  sized_thread::Start(stackBytes, &sized_thread::Run<Held>, held.get());
  held.release();  // the thread owns it now
}
