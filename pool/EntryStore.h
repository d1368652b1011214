// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A view's copy of one proxy list. Changes arrive as "insert at" and "remove
// at" positions, or as a whole list at once after an import, so the entries
// are packed end to end in blocks: a change moves one block's bytes, not the
// whole list's, and a million entries cost their text and four bytes each
// rather than a string object each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class EntryStore {
 public:
  std::size_t Size() const { return size_; }
  // Valid until the store next changes.
  std::string_view At(std::size_t index) const;
  // index <= Size()
  void Insert(std::size_t index, std::string_view entry);
  // index < Size()
  void Remove(std::size_t index);
  void Assign(const std::vector<std::string>& entries);
  // After the last entry: how a store is filled from a list in order.
  void Append(std::string_view entry);
  // In a store whose entries are in byte order (a copy of a pool list): the
  // first index whose entry is not less than `entry`.
  std::size_t LowerBound(std::string_view entry) const;

 private:
  static constexpr std::size_t kBlock = 512;
  // ends[i] is one past entry i in bytes.
  struct Block {
    std::string bytes;
    std::vector<std::uint32_t> ends;
    std::size_t Size() const { return ends.size(); }
    std::string_view At(std::size_t i) const {
      const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
      return std::string_view(bytes).substr(begin, ends[i] - begin);
    }
    void Insert(std::size_t i, std::string_view entry);
    void Erase(std::size_t i);
    // Entries [from, Size()) move to a new block.
    Block SplitOff(std::size_t from);
  };

  // The block that holds `index`, with `index` made relative to it.
  std::size_t Locate(std::size_t& index) const;
  void Forget() const {
    cachedBlock_ = 0;
    cachedStart_ = 0;
  }

  std::vector<Block> blocks_;
  std::size_t size_ = 0;
  // Views read neighbouring rows one after another: remember the last block.
  mutable std::size_t cachedBlock_ = 0;
  mutable std::size_t cachedStart_ = 0;
};
