// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/EntryStore.h"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <utility>

namespace {

// A block splits at twice kBlock entries, or sooner once its text passes this
// size: byte offsets inside a block are 32 bits.
constexpr std::size_t kBlockBytes = std::size_t{1} << 30;

}  // namespace

void EntryStore::Block::Insert(std::size_t i, std::string_view entry) {
  const std::uint32_t at = i == 0 ? 0 : ends[i - 1];
  bytes.insert(at, entry);
  const auto length = static_cast<std::uint32_t>(entry.size());
  ends.insert(ends.begin() + static_cast<std::ptrdiff_t>(i), at + length);
  for (std::size_t k = i + 1; k < ends.size(); ++k) ends[k] += length;
}

void EntryStore::Block::Erase(std::size_t i) {
  const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
  const std::uint32_t length = ends[i] - begin;
  bytes.erase(begin, length);
  ends.erase(ends.begin() + static_cast<std::ptrdiff_t>(i));
  for (std::size_t k = i; k < ends.size(); ++k) ends[k] -= length;
}

EntryStore::Block EntryStore::Block::SplitOff(std::size_t from) {
  const std::uint32_t begin = ends[from - 1];
  Block upper;
  upper.bytes.assign(bytes, begin);
  upper.ends.reserve(ends.size() - from);
  for (std::size_t k = from; k < ends.size(); ++k) upper.ends.push_back(ends[k] - begin);
  bytes.resize(begin);
  ends.resize(from);
  return upper;
}

std::size_t EntryStore::Locate(std::size_t& index) const {
  std::size_t block = 0, start = 0;
  if (cachedBlock_ < blocks_.size() && index >= cachedStart_) {
    block = cachedBlock_;
    start = cachedStart_;
  }
  while (block + 1 < blocks_.size() && index >= start + blocks_[block].Size()) {
    start += blocks_[block].Size();
    ++block;
  }
  cachedBlock_ = block;
  cachedStart_ = start;
  index -= start;
  return block;
}

std::string_view EntryStore::At(std::size_t index) const {
  assert(index < size_);
  const std::size_t block = Locate(index);
  return blocks_[block].At(index);
}

void EntryStore::Insert(std::size_t index, std::string_view entry) {
  assert(index <= size_);
  if (blocks_.empty()) blocks_.emplace_back();
  const std::size_t block = Locate(index);
  Block& items = blocks_[block];
  items.Insert(index, entry);
  ++size_;
  if (items.Size() >= 2 * kBlock || (items.bytes.size() > kBlockBytes && items.Size() > 1)) {
    Block upper = items.SplitOff(items.Size() / 2);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(block) + 1, std::move(upper));
  }
}

void EntryStore::Remove(std::size_t index) {
  assert(index < size_);
  const std::size_t block = Locate(index);
  blocks_[block].Erase(index);
  --size_;
  if (blocks_[block].Size() == 0 && blocks_.size() > 1) {
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(block));
    Forget();
  }
}

void EntryStore::Append(std::string_view entry) {
  if (blocks_.empty() || blocks_.back().Size() >= kBlock || blocks_.back().bytes.size() > kBlockBytes) {
    // A full block gives back what its growth left over before the next starts.
    if (!blocks_.empty()) blocks_.back().bytes.shrink_to_fit();
    blocks_.emplace_back();
    blocks_.back().ends.reserve(kBlock);
  }
  Block& last = blocks_.back();
  last.bytes.append(entry);
  last.ends.push_back(static_cast<std::uint32_t>(last.bytes.size()));
  ++size_;
}

void EntryStore::Assign(const std::vector<std::string>& entries) {
  blocks_.clear();
  size_ = 0;
  Forget();
  for (const std::string& entry : entries) Append(entry);
}

std::size_t EntryStore::LowerBound(std::string_view entry) const {
  // The first block whose last entry is not less than `entry` holds the answer.
  const auto block = std::partition_point(blocks_.begin(), blocks_.end(), [entry](const Block& b) {
    return b.Size() > 0 && b.At(b.Size() - 1) < entry;
  });
  std::size_t start = 0;
  for (auto b = blocks_.begin(); b != block; ++b) start += b->Size();
  if (block == blocks_.end()) return start;
  std::size_t low = 0, high = block->Size();
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    if (block->At(middle) < entry) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return start + low;
}
