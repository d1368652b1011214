// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A sorted sequence of short byte strings with positions: the shape of each
// proxy list. Entries are ordered byte for byte (unsigned), duplicates are kept
// and a new entry goes after the entries equal to it. Lookup, insertion,
// removal and access by position all cost O(log n), so a list of a million
// entries stays as quick as a small one. Not thread-safe: the owner locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

  // Positions are counted in 32 bits inside the tree.
  static constexpr std::size_t kMaxSize = 0xFFFFFFFFu;

  // Inserts after every equal entry and returns the new entry's position.
  // Throws std::bad_alloc, or std::length_error at kMaxSize, with the list unchanged.
  std::size_t Insert(std::string_view entry);
  // The same unless an equal entry is there already: then no value, and the
  // list is unchanged. Cheaper than Contains and Insert one after the other.
  std::optional<std::size_t> InsertUnique(std::string_view entry);
  // Position of the first (lowest) entry equal to `entry`, if any.
  std::optional<std::size_t> Find(std::string_view entry) const;
  bool Contains(std::string_view entry) const { return Find(entry).has_value(); }
  // Removes the first equal entry and returns where it stood.
  std::optional<std::size_t> RemoveFirst(std::string_view entry);
  // Removes the entry at `position` (< Size()).
  void EraseAt(std::size_t position);
  // The entry at `position` (< Size()); valid until the list next changes.
  std::string_view At(std::size_t position) const;
  void Clear();

  struct Node;
  struct Leaf;
  struct Inner;

  // Forward iteration in list order; invalidated by any change.
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    Iterator() = default;
    std::string_view operator*() const;
    Iterator& operator++();
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) {
      return a.leaf_ == b.leaf_ && a.index_ == b.index_;
    }

   private:
    friend class SortedEntryList;
    Iterator(const Leaf* leaf, std::size_t index) : leaf_(leaf), index_(index) {}
    const Leaf* leaf_ = nullptr;
    std::size_t index_ = 0;
  };

  Iterator begin() const;
  Iterator end() const { return Iterator(); }
  std::vector<std::string> ToVector() const;

  // Bytes held by the nodes and by entries too long to sit inside them.
  std::size_t MemoryUsage() const;

 private:
  class Builder;
  std::optional<std::size_t> Place(std::string_view entry, bool unique);

  Node* root_ = nullptr;
  std::size_t size_ = 0;
  std::size_t height_ = 0;  // 1 for a lone leaf
};
