// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/SortedEntryList.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "pool/EntryBatch.h"

namespace {

// Blocks are built this full and split in two when they reach twice as many:
// a change moves at most some 48 KiB, and the counts stay a few thousand
// numbers for millions of entries.
constexpr std::size_t kBlock = 1024;

bool Less(const EntryText& a, std::string_view b) {
  return a.View() < b;
}
bool Less(std::string_view a, const EntryText& b) {
  return a < b.View();
}

void FreeAll(std::vector<std::vector<EntryText>>& blocks) {
  for (std::vector<EntryText>& block : blocks) {
    for (EntryText& entry : block) entry.Free();
  }
  blocks.clear();
}

}  // namespace

SortedEntryList::~SortedEntryList() {
  FreeAll(blocks_);
}

SortedEntryList::SortedEntryList(SortedEntryList&& other) noexcept
    : blocks_(std::move(other.blocks_)), ends_(std::move(other.ends_)), size_(std::exchange(other.size_, 0)) {
  other.blocks_.clear();
  other.ends_.clear();
}

SortedEntryList& SortedEntryList::operator=(SortedEntryList&& other) noexcept {
  if (this != &other) {
    FreeAll(blocks_);
    blocks_ = std::move(other.blocks_);
    ends_ = std::move(other.ends_);
    size_ = std::exchange(other.size_, 0);
    other.blocks_.clear();
    other.ends_.clear();
  }
  return *this;
}

void SortedEntryList::Clear() {
  FreeAll(blocks_);
  blocks_.shrink_to_fit();
  ends_.clear();
  ends_.shrink_to_fit();
  size_ = 0;
}

SortedEntryList::Iterator& SortedEntryList::Iterator::operator++() {
  if (++index_ == (*blocks_)[block_].size()) {
    index_ = 0;
    if (++block_ == blocks_->size()) *this = Iterator();
  }
  return *this;
}

SortedEntryList::Place SortedEntryList::Locate(std::string_view entry, bool after) const {
  // The first block whose last entry comes after `entry` (or is not before
  // it, for a lower place); past every block, the end of the last one.
  const auto block = std::partition_point(blocks_.begin(), blocks_.end(), [&](const std::vector<EntryText>& b) {
    return after ? !Less(entry, b.back()) : Less(b.back(), entry);
  });
  if (block == blocks_.end()) {
    return blocks_.empty() ? Place{0, 0} : Place{blocks_.size() - 1, blocks_.back().size()};
  }
  const auto at = after ? std::upper_bound(block->begin(), block->end(), entry, [](std::string_view e, const EntryText& t) { return Less(e, t); })
                        : std::lower_bound(block->begin(), block->end(), entry, [](const EntryText& t, std::string_view e) { return Less(t, e); });
  return {static_cast<std::size_t>(block - blocks_.begin()), static_cast<std::size_t>(at - block->begin())};
}

SortedEntryList::Place SortedEntryList::BlockOf(std::size_t position) const {
  const std::size_t block = static_cast<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), position) - ends_.begin());
  return {block, position - (block ? ends_[block - 1] : 0)};
}

void SortedEntryList::Recount(std::size_t fromBlock) {
  ends_.resize(blocks_.size());
  for (std::size_t b = fromBlock; b < blocks_.size(); ++b) ends_[b] = (b ? ends_[b - 1] : 0) + blocks_[b].size();
}

std::size_t SortedEntryList::PutAt(Place place, EntryText entry) {
  try {
    if (size_ >= kMaxSize) throw std::length_error("SortedEntryList is full");
    if (blocks_.empty()) {
      blocks_.emplace_back();
      ends_.push_back(0);
    }
    if (blocks_[place.block].size() >= 2 * kBlock) {
      // Room for one more block and its count first, so that nothing below throws half done.
      blocks_.reserve(blocks_.size() + 1);
      ends_.reserve(blocks_.size() + 1);
      std::vector<EntryText>& block = blocks_[place.block];
      std::vector<EntryText> upper(block.begin() + kBlock, block.end());
      block.resize(kBlock);
      blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(place.block) + 1, std::move(upper));
      Recount(place.block);
      if (place.index > kBlock) place = {place.block + 1, place.index - kBlock};
    }
    std::vector<EntryText>& into = blocks_[place.block];
    into.insert(into.begin() + static_cast<std::ptrdiff_t>(place.index), entry);
  } catch (...) {
    entry.Free();
    if (size_ == 0) Clear();  // no empty block is left behind
    throw;
  }
  ++size_;
  for (std::size_t b = place.block; b < ends_.size(); ++b) ++ends_[b];
  return PositionOf(place);
}

std::size_t SortedEntryList::Insert(std::string_view entry) {
  return PutAt(Locate(entry, true), EntryText::Make(entry));
}

std::optional<std::size_t> SortedEntryList::InsertUnique(std::string_view entry) {
  const Place place = Locate(entry, false);
  if (place.block < blocks_.size() && place.index < blocks_[place.block].size() &&
      blocks_[place.block][place.index].View() == entry)
    return std::nullopt;
  return PutAt(place, EntryText::Make(entry));
}

std::optional<std::size_t> SortedEntryList::Find(std::string_view entry) const {
  const Place place = Locate(entry, false);
  if (place.block >= blocks_.size() || place.index >= blocks_[place.block].size() ||
      blocks_[place.block][place.index].View() != entry)
    return std::nullopt;
  return PositionOf(place);
}

std::optional<std::size_t> SortedEntryList::RemoveFirst(std::string_view entry) {
  const std::optional<std::size_t> position = Find(entry);
  if (position) EraseAt(*position);
  return position;
}

void SortedEntryList::EraseAt(std::size_t position) {
  const Place place = BlockOf(position);
  std::vector<EntryText>& block = blocks_[place.block];
  block[place.index].Free();
  block.erase(block.begin() + static_cast<std::ptrdiff_t>(place.index));
  --size_;
  if (block.empty()) {
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(place.block));
    ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(place.block));
    if (blocks_.empty()) Clear();
  }
  for (std::size_t b = place.block; b < ends_.size(); ++b) --ends_[b];
}

std::string_view SortedEntryList::At(std::size_t position) const {
  const Place place = BlockOf(position);
  return blocks_[place.block][place.index].View();
}

std::vector<std::string> SortedEntryList::ToVector() const {
  std::vector<std::string> entries;
  entries.reserve(size_);
  for (std::string_view entry : *this) entries.emplace_back(entry);
  return entries;
}

std::size_t SortedEntryList::MemoryUsage() const {
  std::size_t bytes = blocks_.capacity() * sizeof(std::vector<EntryText>) + ends_.capacity() * sizeof(std::size_t);
  for (const std::vector<EntryText>& block : blocks_) {
    bytes += block.capacity() * sizeof(EntryText);
    for (const EntryText& entry : block) bytes += entry.HeapBytes();
  }
  return bytes;
}

void SortedEntryList::Append(EntryText entry) {
  try {
    if (size_ >= kMaxSize) throw std::length_error("SortedEntryList is full");
    if (blocks_.empty() || blocks_.back().size() >= kBlock) {
      blocks_.emplace_back();
      ends_.push_back(size_);
      blocks_.back().reserve(kBlock);
    }
    blocks_.back().push_back(entry);
  } catch (...) {
    entry.Free();
    throw;
  }
  ++size_;
  ++ends_.back();
}

SortedEntryList SortedEntryList::FromBatch(EntryBatch& batch) {
  SortedEntryList built;
  std::vector<EntryText> run;
  while (batch.TakeRun(run)) {
    for (std::size_t placed = 0; placed < run.size(); ++placed) {
      try {
        built.Append(run[placed]);
      } catch (...) {
        while (++placed < run.size()) run[placed].Free();
        throw;
      }
    }
  }
  return built;
}

SortedEntryList SortedEntryList::Merged(const SortedEntryList& list, const SortedEntryList& fresh,
                                        std::size_t& added) {
  SortedEntryList built;
  std::size_t came = 0;
  Iterator a = list.begin();
  Iterator f = fresh.begin();
  while (a != list.end() || f != fresh.end()) {
    if (f == fresh.end() || (a != list.end() && *a <= *f)) {
      // A text both hold is the list's: the fresh one is passed over.
      if (f != fresh.end() && *a == *f) ++f;
      built.Append(EntryText::Make(*a++));
    } else {
      built.Append(EntryText::Make(*f++));
      ++came;
    }
  }
  added = came;
  return built;
}
