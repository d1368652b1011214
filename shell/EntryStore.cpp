// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/EntryStore.h"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <utility>

std::size_t EntryStore::Locate(std::size_t& index) const {
  std::size_t block = 0, start = 0;
  if (cachedBlock_ < blocks_.size() && index >= cachedStart_) {
    block = cachedBlock_;
    start = cachedStart_;
  }
  while (block + 1 < blocks_.size() && index >= start + blocks_[block].size()) {
    start += blocks_[block].size();
    ++block;
  }
  cachedBlock_ = block;
  cachedStart_ = start;
  index -= start;
  return block;
}

const std::string& EntryStore::At(std::size_t index) const {
  assert(index < size_);
  const std::size_t block = Locate(index);
  return blocks_[block][index];
}

void EntryStore::Insert(std::size_t index, std::string entry) {
  assert(index <= size_);
  if (blocks_.empty()) blocks_.emplace_back();
  std::size_t block = Locate(index);
  auto& items = blocks_[block];
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
  ++size_;
  if (items.size() >= 2 * kBlock) {
    std::vector<std::string> upper(std::make_move_iterator(items.begin() + kBlock),
                                   std::make_move_iterator(items.end()));
    items.resize(kBlock);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(block) + 1, std::move(upper));
  }
}

void EntryStore::Remove(std::size_t index) {
  assert(index < size_);
  std::size_t block = Locate(index);
  auto& items = blocks_[block];
  items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
  --size_;
  if (items.empty() && blocks_.size() > 1) {
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(block));
    cachedBlock_ = 0;
    cachedStart_ = 0;
  }
}

void EntryStore::Assign(const std::vector<std::string>& entries) {
  blocks_.clear();
  for (std::size_t i = 0; i < entries.size(); i += kBlock) {
    const std::size_t end = std::min(entries.size(), i + kBlock);
    blocks_.emplace_back(entries.begin() + static_cast<std::ptrdiff_t>(i),
                         entries.begin() + static_cast<std::ptrdiff_t>(end));
  }
  size_ = entries.size();
  cachedBlock_ = 0;
  cachedStart_ = 0;
}
