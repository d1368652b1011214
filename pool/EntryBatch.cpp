// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/EntryBatch.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

struct EntryBatch::Chunk {
  Chunk* next;  // older
  std::uint32_t size;
  std::uint32_t capacity;

  EntryText* Entries() { return reinterpret_cast<EntryText*>(this + 1); }

  static Chunk* Make(std::uint32_t capacity, Chunk* next) {
    void* raw = ::operator new(sizeof(Chunk) + capacity * sizeof(EntryText));
    return new (raw) Chunk{next, 0, capacity};
  }
  static void Release(Chunk* chunk) { ::operator delete(chunk); }
};

namespace {

// A bucket's chunks double from the first to the largest: a file whose
// addresses begin in thousands of ways fills thousands of buckets with a few
// entries each, and a full-sized chunk for each would cost more than them all.
constexpr std::uint32_t kFirstChunk = 8;
constexpr std::uint32_t kLargestChunk = 4096;

// Runs this short are sorted by comparison.
constexpr std::size_t kShortRun = 16;
// Past this depth a run shares a long beginning: a comparison sort ends it
// instead of one pass and one level of recursion per shared byte.
constexpr std::size_t kDeepest = 64;

// Byte `depth` of the entry counted from 1, or 0 where the entry has ended: an
// entry sorts before every longer one that begins with it. An inline text is
// padded with zero bytes up to its length byte, and no inline entry is asked
// past its own length (where it ended, it stopped being sorted).
[[gnu::noinline]] unsigned KeyOnHeapAt(const EntryText& entry, std::size_t depth) {
  const std::string_view text = entry.View();
  return depth < text.size() ? static_cast<unsigned char>(text[depth]) + 1u : 0u;
}

inline unsigned KeyAt(const EntryText& entry, std::size_t depth) {
  const unsigned tag = entry.raw[23];
  if (__builtin_expect(tag == EntryText::kHeapTag, 0)) return KeyOnHeapAt(entry, depth);
  return entry.raw[depth] + (depth < tag ? 1u : 0u);
}

// Two inline entries compare as their 24 bytes read as big-endian numbers: the
// text, its zero padding, then its length, which decides only between a text
// and a longer one that begins with it and then zero bytes.
inline std::uint64_t Word(const EntryText& entry, std::size_t i) {
  std::uint64_t word;
  std::memcpy(&word, entry.raw + 8 * i, sizeof word);
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

[[gnu::noinline]] bool BeforeByView(const EntryText& a, const EntryText& b) {
  return a.View() < b.View();
}

inline bool Before(const EntryText& a, const EntryText& b) {
  if (__builtin_expect(a.OnHeap() || b.OnHeap(), 0)) return BeforeByView(a, b);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::uint64_t x = Word(a, i);
    const std::uint64_t y = Word(b, i);
    if (x != y) return x < y;
  }
  return false;
}

inline bool Same(const EntryText& a, const EntryText& b) {
  if (a.OnHeap() || b.OnHeap()) return a.View() == b.View();
  return std::memcmp(a.raw, b.raw, sizeof a.raw) == 0;
}

// Byte-wise radix sort from `depth` on, of entries that agree before it. The
// passes go back and forth between `run` and `spare` (as large), and the
// sorted entries end in `spare` when `intoSpare`, else in `run`.
void SortFrom(EntryText* run, EntryText* spare, std::size_t count, std::size_t depth, bool intoSpare) {
  const auto land = [&](EntryText* at, std::size_t n) {
    if (intoSpare) std::memcpy(static_cast<void*>(spare + (at - run)), at, n * sizeof(EntryText));
  };
  for (;;) {
    if (count <= kShortRun || depth >= kDeepest) {
      std::sort(run, run + count, [](const EntryText& a, const EntryText& b) { return Before(a, b); });
      land(run, count);
      return;
    }
    // Only the keys between the lowest and the highest present are walked:
    // text of digits and dots has a dozen, and a short run pays for no more.
    std::array<std::uint32_t, 257> sizes{};
    unsigned low = 256, high = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned key = KeyAt(run[i], depth);
      ++sizes[key];
      low = std::min(low, key);
      high = std::max(high, key);
    }
    if (low == high) {
      // All alike at this byte; if all have ended there, all are equal.
      if (low == 0) {
        land(run, count);
        return;
      }
      ++depth;
      continue;
    }
    std::array<std::size_t, 257> starts;
    std::size_t start = 0;
    for (unsigned key = low; key <= high; ++key) {
      starts[key] = start;
      start += sizes[key];
    }
    std::array<std::size_t, 257> next = starts;
    for (std::size_t i = 0; i < count; ++i) spare[next[KeyAt(run[i], depth)]++] = run[i];
    // Now in `spare`: each group sorts on from there, to where this call's
    // result belongs. Those that ended at this byte (key 0) are equal.
    for (unsigned key = low; key <= high; ++key) {
      const std::size_t at = starts[key];
      if (key > 0 && sizes[key] > 1) {
        SortFrom(spare + at, run + at, sizes[key], depth + 1, !intoSpare);
      } else if (!intoSpare && sizes[key] > 0) {
        std::memcpy(static_cast<void*>(run + at), spare + at, sizes[key] * sizeof(EntryText));
      }
    }
    return;
  }
}

}  // namespace

// A bucket's entries, newest chunk first, and how many of them have each
// third byte: the sort's first pass is counted as they come, so that taking
// the bucket reads its chunks once, straight into their places.
struct EntryBatch::Bucket {
  Chunk* newest = nullptr;
  std::size_t count = 0;
  std::array<std::uint32_t, 257> thirds{};

  Bucket() = default;
  Bucket(const Bucket&) = delete;
  Bucket& operator=(const Bucket&) = delete;
  ~Bucket() {
    for (Chunk* chunk = newest; chunk != nullptr;) {
      for (std::uint32_t i = 0; i < chunk->size; ++i) chunk->Entries()[i].Free();
      Chunk::Release(std::exchange(chunk, chunk->next));
    }
  }
};

EntryBatch::EntryBatch() = default;
EntryBatch::~EntryBatch() = default;

std::size_t EntryBatch::BucketOf(std::string_view entry) {
  const auto byte = [entry](std::size_t i) {
    return i < entry.size() ? static_cast<unsigned char>(entry[i]) + 1u : 0u;
  };
  return byte(0) * 257u + byte(1);
}

void EntryBatch::Add(std::string_view entry) {
  // A bucket counts in 32 bits.
  if (size_ >= std::numeric_limits<std::uint32_t>::max()) throw std::length_error("EntryBatch is full");
  if (buckets_.empty()) buckets_.resize(kBuckets);
  const std::size_t at = BucketOf(entry);
  std::unique_ptr<Bucket>& bucket = buckets_[at];
  if (!bucket) bucket = std::make_unique<Bucket>();
  EntryText text = EntryText::Make(entry);
  Chunk*& newest = bucket->newest;
  if (newest == nullptr || newest->size == newest->capacity) {
    const std::uint32_t capacity = newest == nullptr ? kFirstChunk : std::min(newest->capacity * 2, kLargestChunk);
    try {
      newest = Chunk::Make(capacity, newest);
    } catch (...) {
      text.Free();
      throw;
    }
  }
  newest->Entries()[newest->size++] = text;
  ++bucket->thirds[KeyAt(text, 2)];
  ++bucket->count;
  ++size_;
  next_ = std::min(next_, at);
}

bool EntryBatch::TakeRun(std::vector<EntryText>& run) {
  run.clear();
  while (next_ < buckets_.size() && !buckets_[next_]) ++next_;
  if (next_ >= buckets_.size()) {
    std::vector<EntryText>().swap(scratch_);
    return false;
  }
  Bucket& bucket = *buckets_[next_];
  const std::size_t count = bucket.count;
  run.resize(count);
  const std::size_t largest = *std::max_element(bucket.thirds.begin(), bucket.thirds.end());
  if (largest > kShortRun && scratch_.size() < largest) scratch_.resize(largest);

  // From here on nothing throws. Every entry of a bucket has the same first
  // two bytes, and goes from its chunk straight to its third byte's share.
  std::array<std::size_t, 257> starts;
  std::size_t start = 0;
  for (std::size_t key = 0; key < starts.size(); ++key) {
    starts[key] = start;
    start += bucket.thirds[key];
  }
  std::array<std::size_t, 257> next = starts;
  for (Chunk* chunk = std::exchange(bucket.newest, nullptr); chunk != nullptr;) {
    for (std::uint32_t i = 0; i < chunk->size; ++i) {
      const EntryText& entry = chunk->Entries()[i];
      run[next[KeyAt(entry, 2)]++] = entry;
    }
    Chunk::Release(std::exchange(chunk, chunk->next));
  }
  // Those that ended after two bytes (key 0) are equal to each other.
  for (std::size_t key = 1; key < starts.size(); ++key) {
    if (bucket.thirds[key] > 1) SortFrom(run.data() + starts[key], scratch_.data(), bucket.thirds[key], 3, false);
  }
  buckets_[next_].reset();
  size_ -= count;
  ++next_;
  std::size_t kept = 0;
  for (EntryText& entry : run) {
    if (kept > 0 && Same(run[kept - 1], entry)) {
      entry.Free();
    } else {
      run[kept++] = entry;
    }
  }
  run.resize(kept);
  return true;
}
