// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// What the relay's verdicts and the imports did to the pool, gathered from the
// changes a listener hears and put in one sentence for a screen reader to
// announce: how many proxies an import brought, which proxy failed or works
// (or how many, when several are judged together), and the upstream that
// follows. A proxy judged as it was judged before changes no list, and is not
// news. The user's own steps (typing, choosing a row, Set!) never are.
#pragma once

#include <cstddef>
#include <string>

#include "pool/ProxyPool.h"

class PoolNews {
 public:
  explicit PoolNews(const ProxyPool& pool) : pool_(pool) {}

  // One change, as the pool's listener hears it: on the thread that made it.
  void Hear(const PoolChange& change);
  bool Empty() const { return !imported_ && failed_.count == 0 && working_.count == 0; }
  // The sentence for everything heard since the last one; empty when there was nothing.
  std::string Take();

 private:
  struct Judged {
    std::size_t count = 0;
    std::string last;
  };

  const ProxyPool& pool_;
  // The list of all proxies' length when an import began.
  std::size_t countBefore_ = 0;
  bool imported_ = false;
  std::size_t importedCount_ = 0;
  Judged failed_;
  Judged working_;
};
