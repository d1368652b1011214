// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The window's copy of one proxy list. Changes arrive as "insert at" and
// "remove at" positions, often in bulk (an import adds every line of a file),
// so the entries are kept in blocks: a change moves one block's entries, not
// the whole list's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class EntryStore {
 public:
  std::size_t Size() const { return size_; }
  const std::string& At(std::size_t index) const;
  // index <= Size()
  void Insert(std::size_t index, std::string entry);
  // index < Size()
  void Remove(std::size_t index);
  void Assign(const std::vector<std::string>& entries);

 private:
  static constexpr std::size_t kBlock = 512;
  // The block that holds `index` and the position of its first entry.
  std::size_t Locate(std::size_t& index) const;

  std::vector<std::vector<std::string>> blocks_;
  std::size_t size_ = 0;
  // Views read neighbouring rows one after another: remember the last block.
  mutable std::size_t cachedBlock_ = 0;
  mutable std::size_t cachedStart_ = 0;
};
