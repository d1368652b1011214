// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A sorted sequence of short byte strings with positions: the shape of each
// proxy list. Entries are ordered byte for byte (unsigned), duplicates are kept
// and a new entry goes after the entries equal to it. The entries lie in
// sorted blocks of about a thousand, with the running count of entries at the
// end of each block: a lookup is two binary searches, an insertion or removal
// moves a few KiB inside one block and updates the counts after it, so a list
// of millions stays quick and costs its 24-byte slots and little more. Not
// thread-safe: the owner locks.
#pragma once

#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pool/EntryText.h"

class EntryBatch;

class SortedEntryList {
 public:
  SortedEntryList() = default;
  ~SortedEntryList();
  SortedEntryList(const SortedEntryList&) = delete;
  SortedEntryList& operator=(const SortedEntryList&) = delete;
  SortedEntryList(SortedEntryList&& other) noexcept;
  SortedEntryList& operator=(SortedEntryList&& other) noexcept;

  // Every text of `batch` once, in time linear in their number rather than an
  // insertion each; the batch is left empty. Throws std::bad_alloc, or
  // std::length_error past kMaxSize; the batch then holds what it had not yet
  // handed over.
  static SortedEntryList FromBatch(EntryBatch& batch);
  // Every entry of `list`, and every entry of `fresh` (each text once) that
  // `list` does not hold, in one pass over both; `added` is how many of
  // `fresh` came in. Throws std::bad_alloc or std::length_error.
  static SortedEntryList Merged(const SortedEntryList& list, const SortedEntryList& fresh, std::size_t& added);

  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  // As many as a batch counts.
  static constexpr std::size_t kMaxSize = 0xFFFFFFFFu;

  // Inserts after every equal entry and returns the new entry's position.
  // Throws std::bad_alloc, or std::length_error at kMaxSize, with the list unchanged.
  std::size_t Insert(std::string_view entry);
  // The same unless an equal entry is there already: then no value, and the
  // list is unchanged. Cheaper than Contains and Insert one after the other.
  std::optional<std::size_t> InsertUnique(std::string_view entry);
  // Position of the first (lowest) entry equal to `entry`, if any.
  std::optional<std::size_t> Find(std::string_view entry) const;
  // Position of the first entry not below `entry` (Size() when none is).
  std::size_t LowerBound(std::string_view entry) const { return PositionOf(Locate(entry, false)); }
  bool Contains(std::string_view entry) const { return Find(entry).has_value(); }
  // Removes the first equal entry and returns where it stood.
  std::optional<std::size_t> RemoveFirst(std::string_view entry);
  // Removes the entry at `position` (< Size()).
  void EraseAt(std::size_t position);
  // The entry at `position` (< Size()); valid until the list next changes.
  std::string_view At(std::size_t position) const;
  void Clear();

  // Forward iteration in list order; invalidated by any change.
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    Iterator() = default;
    std::string_view operator*() const { return (*blocks_)[block_][index_].View(); }
    Iterator& operator++();
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) {
      return a.blocks_ == b.blocks_ && a.block_ == b.block_ && a.index_ == b.index_;
    }

   private:
    friend class SortedEntryList;
    Iterator(const std::vector<std::vector<EntryText>>* blocks) : blocks_(blocks) {}
    const std::vector<std::vector<EntryText>>* blocks_ = nullptr;
    std::size_t block_ = 0;
    std::size_t index_ = 0;
  };

  Iterator begin() const { return blocks_.empty() ? Iterator() : Iterator(&blocks_); }
  Iterator end() const { return Iterator(); }
  std::vector<std::string> ToVector() const;

  // Bytes held by the blocks and by entries too long to sit inside them.
  std::size_t MemoryUsage() const;

 private:
  struct Place {
    std::size_t block;
    std::size_t index;
  };
  // Where `entry` goes: before the entries equal to it (lower) or after them.
  Place Locate(std::string_view entry, bool after) const;
  Place BlockOf(std::size_t position) const;
  std::size_t PositionOf(Place place) const { return (place.block ? ends_[place.block - 1] : 0) + place.index; }
  // Takes `entry` (owning its text from then on) at `place`.
  std::size_t PutAt(Place place, EntryText entry);
  void Recount(std::size_t fromBlock);
  // Appends in order: how lists are built in one pass.
  void Append(EntryText entry);

  std::vector<std::vector<EntryText>> blocks_;
  // ends_[b]: the entries in blocks 0 to b.
  std::vector<std::size_t> ends_;
  std::size_t size_ = 0;
};
