// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Entries gathered for one addition to a list, in any order and with repeats,
// and handed on sorted and once each. An import of millions of lines gathers
// its addresses here rather than inserting them one by one: a list that size
// lives in main memory, where every insertion waits for the nodes on its way
// down, while a batch only appends, and later sorts one cache-sized share at
// a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "pool/EntryText.h"

class EntryBatch {
 public:
  EntryBatch();
  ~EntryBatch();
  EntryBatch(const EntryBatch&) = delete;
  EntryBatch& operator=(const EntryBatch&) = delete;

  // Throws std::bad_alloc, or std::length_error past 2^32 - 1 entries, with
  // the batch as it was.
  void Add(std::string_view entry);
  // Entries added and not yet taken, repeats counted.
  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  // Moves the next share of the entries into `run` (replacing what it held),
  // sorted byte for byte (unsigned) with each text once, and lets go of them;
  // the caller owns their texts from then on. Shares come in byte order, so
  // the runs taken one after another are one sorted sequence. False once
  // nothing is left. Throws std::bad_alloc with nothing taken.
  bool TakeRun(std::vector<EntryText>& run);

 private:
  struct Chunk;
  struct Bucket;
  // Entries are gathered by their first two bytes: each such bucket is a share
  // that sorts on its own, and the buckets in turn are in byte order.
  static constexpr std::size_t kBuckets = 257 * 257;
  static std::size_t BucketOf(std::string_view entry);

  std::vector<std::unique_ptr<Bucket>> buckets_;
  std::size_t size_ = 0;
  std::size_t next_ = 0;  // no bucket before it holds anything
  std::vector<EntryText> scratch_;
};
