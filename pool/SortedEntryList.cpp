// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A B+ tree whose inner nodes count the entries below each child, so that a
// position can be found on the way down. Entries live in wide leaves (a few
// cache lines are searched per level instead of one pointer chase per
// comparison), and a typical "a.b.c.d:port" entry is stored inside the leaf
// without an allocation of its own.
#include "pool/SortedEntryList.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "pool/EntryBatch.h"
#include "pool/EntryText.h"

namespace {

constexpr std::uint16_t kLeafCapacity = 64;
constexpr std::uint16_t kInnerCapacity = 64;
// A node this empty is merged into a neighbour when the two fit in one.
constexpr std::uint16_t kMergeBelow = 16;
// 64^16 entries would be needed to grow taller; 16 levels never fill.
constexpr std::size_t kMaxHeight = 16;

// Frees a text that was made ahead of a change if the change never takes it.
class TextGuard {
 public:
  TextGuard() = default;
  explicit TextGuard(EntryText text) : text_(text), held_(true) {}
  TextGuard(const TextGuard&) = delete;
  TextGuard& operator=(const TextGuard&) = delete;
  ~TextGuard() {
    if (held_) text_.Free();
  }
  void Reset(EntryText text) {
    if (held_) text_.Free();
    text_ = text;
    held_ = true;
  }
  EntryText Release() {
    held_ = false;
    return text_;
  }
  // The held text, still owned by the guard.
  EntryText View() const { return text_; }

 private:
  EntryText text_{};
  bool held_ = false;
};

}  // namespace

struct SortedEntryList::Node {
  bool leaf;
  std::uint16_t n = 0;
  explicit Node(bool isLeaf) : leaf(isLeaf) {}
};

struct SortedEntryList::Leaf : Node {
  Leaf() : Node(true) {}
  Leaf* prev = nullptr;
  Leaf* next = nullptr;
  EntryText keys[kLeafCapacity];
};

// seps[j] (1 <= j < n) lies between kids[j - 1] and kids[j]: no entry left of
// it is greater and no entry right of it is smaller. seps[0] is unused.
struct SortedEntryList::Inner : Node {
  Inner() : Node(false) {}
  std::uint32_t counts[kInnerCapacity];
  Node* kids[kInnerCapacity];
  EntryText seps[kInnerCapacity];
};

namespace {

using Node = SortedEntryList::Node;
using Leaf = SortedEntryList::Leaf;
using Inner = SortedEntryList::Inner;

Leaf* AsLeaf(Node* n) {
  return static_cast<Leaf*>(n);
}
const Leaf* AsLeaf(const Node* n) {
  return static_cast<const Leaf*>(n);
}
Inner* AsInner(Node* n) {
  return static_cast<Inner*>(n);
}
const Inner* AsInner(const Node* n) {
  return static_cast<const Inner*>(n);
}

std::size_t CountOf(const Node* node) {
  if (node->leaf) return node->n;
  const Inner* in = AsInner(node);
  std::size_t total = 0;
  for (std::uint16_t i = 0; i < in->n; ++i) total += in->counts[i];
  return total;
}

std::size_t SumBefore(const Inner* in, std::size_t child) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < child; ++i) total += in->counts[i];
  return total;
}

// The child that may hold the first entry >= x: the number of separators < x.
std::size_t LowerChild(const Inner* in, std::string_view x) {
  const EntryText* first = in->seps + 1;
  const EntryText* last = in->seps + in->n;
  return std::partition_point(first, last, [x](const EntryText& s) { return s.View() < x; }) - first;
}

// The child where x goes after its equals: the number of separators <= x.
std::size_t UpperChild(const Inner* in, std::string_view x) {
  const EntryText* first = in->seps + 1;
  const EntryText* last = in->seps + in->n;
  return std::partition_point(first, last, [x](const EntryText& s) { return s.View() <= x; }) - first;
}

std::size_t LowerIndex(const Leaf* leaf, std::string_view x) {
  return std::partition_point(leaf->keys, leaf->keys + leaf->n,
                              [x](const EntryText& k) { return k.View() < x; }) -
         leaf->keys;
}

std::size_t UpperIndex(const Leaf* leaf, std::string_view x) {
  return std::partition_point(leaf->keys, leaf->keys + leaf->n,
                              [x](const EntryText& k) { return k.View() <= x; }) -
         leaf->keys;
}

template <typename T>
void ShiftRight(T* array, std::size_t from, std::size_t count) {
  std::memmove(static_cast<void*>(array + from + 1), array + from, (count - from) * sizeof(T));
}

template <typename T>
void ShiftLeft(T* array, std::size_t from, std::size_t count) {
  std::memmove(static_cast<void*>(array + from), array + from + 1, (count - from - 1) * sizeof(T));
}

void InsertChild(Inner* in, std::size_t at, Node* child, EntryText sep, std::uint32_t count) {
  ShiftRight(in->kids, at, in->n);
  ShiftRight(in->counts, at, in->n);
  ShiftRight(in->seps, at, in->n);
  in->kids[at] = child;
  in->counts[at] = count;
  in->seps[at] = sep;
  ++in->n;
}

// Drops child slot `at` with the separator that goes with it; the separator
// is freed unless the caller moved it elsewhere.
void RemoveChildSlot(Inner* in, std::size_t at, bool freeSeparator) {
  const std::size_t sepSlot = at == 0 ? 1 : at;
  if (sepSlot < in->n) {
    if (freeSeparator) in->seps[sepSlot].Free();
    ShiftLeft(in->seps, sepSlot, in->n);
  }
  ShiftLeft(in->kids, at, in->n);
  ShiftLeft(in->counts, at, in->n);
  --in->n;
}

void DestroyTree(Node* node) {
  if (node == nullptr) return;
  if (node->leaf) {
    Leaf* leaf = AsLeaf(node);
    for (std::uint16_t i = 0; i < leaf->n; ++i) leaf->keys[i].Free();
    delete leaf;
    return;
  }
  Inner* in = AsInner(node);
  for (std::uint16_t i = 0; i < in->n; ++i) {
    if (i > 0) in->seps[i].Free();
    DestroyTree(in->kids[i]);
  }
  delete in;
}

void UnlinkLeaf(Leaf* leaf) {
  if (leaf->prev) leaf->prev->next = leaf->next;
  if (leaf->next) leaf->next->prev = leaf->prev;
}

// Moves kids[at + 1] into kids[at] (both of one level, fitting in one node).
void MergeChildren(Inner* parent, std::size_t at) {
  Node* left = parent->kids[at];
  Node* right = parent->kids[at + 1];
  if (left->leaf) {
    Leaf* l = AsLeaf(left);
    Leaf* r = AsLeaf(right);
    std::memcpy(static_cast<void*>(l->keys + l->n), r->keys, r->n * sizeof(EntryText));
    l->n = static_cast<std::uint16_t>(l->n + r->n);
    UnlinkLeaf(r);
    delete r;
    parent->counts[at] += parent->counts[at + 1];
    RemoveChildSlot(parent, at + 1, /*freeSeparator=*/true);
    return;
  }
  Inner* l = AsInner(left);
  Inner* r = AsInner(right);
  // The parent's separator between the two comes down between their children.
  l->seps[l->n] = parent->seps[at + 1];
  std::memcpy(static_cast<void*>(l->seps + l->n + 1), r->seps + 1, (r->n - 1) * sizeof(EntryText));
  std::memcpy(static_cast<void*>(l->kids + l->n), r->kids, r->n * sizeof(Node*));
  std::memcpy(static_cast<void*>(l->counts + l->n), r->counts, r->n * sizeof(std::uint32_t));
  l->n = static_cast<std::uint16_t>(l->n + r->n);
  delete r;
  parent->counts[at] += parent->counts[at + 1];
  RemoveChildSlot(parent, at + 1, /*freeSeparator=*/false);
}

std::uint16_t CapacityOf(const Node* node) {
  return node->leaf ? kLeafCapacity : kInnerCapacity;
}

// After a removal below kids[at]: drop the child if it emptied, or merge it
// with a neighbour if it has grown thin and the two fit into one node.
void Rebalance(Inner* parent, std::size_t at) {
  Node* child = parent->kids[at];
  if (child->n == 0) {
    if (child->leaf) {
      UnlinkLeaf(AsLeaf(child));
      delete AsLeaf(child);
    } else {
      delete AsInner(child);
    }
    RemoveChildSlot(parent, at, /*freeSeparator=*/true);
    return;
  }
  if (child->n >= kMergeBelow) return;
  const std::uint16_t capacity = CapacityOf(child);
  if (at > 0 && parent->kids[at - 1]->n + child->n <= capacity) {
    MergeChildren(parent, at - 1);
  } else if (at + 1 < parent->n && parent->kids[at + 1]->n + child->n <= capacity) {
    MergeChildren(parent, at);
  }
}

// Asks for every cache line a search of `node` reads, all at once: in a list
// of millions the nodes below the top levels are not in the cache, and a
// binary search that fetched one line per probe would wait for each in turn.
void PrefetchSearch(const Node* node, bool leaf) {
  const char* from;
  const char* to;
  if (leaf) {
    const Leaf* l = AsLeaf(node);
    from = reinterpret_cast<const char*>(l);
    to = reinterpret_cast<const char*>(l->keys + kLeafCapacity);
  } else {
    const Inner* in = AsInner(node);
    from = reinterpret_cast<const char*>(in);
    to = reinterpret_cast<const char*>(in->seps + kInnerCapacity);
  }
  for (const char* line = from; line < to; line += 64) __builtin_prefetch(line);
}

struct PathStep {
  Inner* node;
  std::size_t child;
};

// Spreads the entries of two neighbouring leaves, with `text` at `index` of
// the two taken as one run, evenly over both; the separator between them
// becomes the right one's first entry. Both must fit: left->n + right->n < 2 * capacity.
void SpreadOver(Leaf* left, Leaf* right, std::size_t index, EntryText text, EntryText& separator) {
  std::array<EntryText, 2 * kLeafCapacity> run;
  std::memcpy(static_cast<void*>(run.data()), left->keys, left->n * sizeof(EntryText));
  std::memcpy(static_cast<void*>(run.data() + left->n), right->keys, right->n * sizeof(EntryText));
  const std::size_t total = left->n + right->n + 1u;
  ShiftRight(run.data(), index, total - 1);
  run[index] = text;
  const std::size_t leftSize = (total + 1) / 2;
  // The only allocation comes first: both leaves are untouched if it fails.
  const EntryText opening = EntryText::Make(run[leftSize].View());
  std::memcpy(static_cast<void*>(left->keys), run.data(), leftSize * sizeof(EntryText));
  std::memcpy(static_cast<void*>(right->keys), run.data() + leftSize, (total - leftSize) * sizeof(EntryText));
  left->n = static_cast<std::uint16_t>(leftSize);
  right->n = static_cast<std::uint16_t>(total - leftSize);
  separator.Free();
  separator = opening;
}

// A full leaf shares its entries with a neighbour under the same parent that
// has room, instead of splitting: the new entry then fits. Whether it was
// placed. Leaves split only when their neighbours are full too, so the tree
// stays well filled whatever order the entries come in.
bool PlaceThroughNeighbour(Inner* parent, std::size_t child, Leaf* leaf, std::size_t index, EntryText text) {
  const auto roomy = [](const Node* n) { return n->n + 2u <= kLeafCapacity; };
  if (child + 1 < parent->n && roomy(parent->kids[child + 1])) {
    SpreadOver(leaf, AsLeaf(parent->kids[child + 1]), index, text, parent->seps[child + 1]);
  } else if (child > 0 && roomy(parent->kids[child - 1])) {
    Leaf* left = AsLeaf(parent->kids[child - 1]);
    SpreadOver(left, leaf, left->n + index, text, parent->seps[child]);
    --child;
  } else {
    return false;
  }
  parent->counts[child] = parent->kids[child]->n;
  parent->counts[child + 1] = parent->kids[child + 1]->n;
  return true;
}

const EntryText& FirstEntry(const Node* node) {
  while (!node->leaf) node = AsInner(node)->kids[0];
  return AsLeaf(node)->keys[0];
}

// The inner nodes over one level of a tree being built, as evenly filled as
// their number allows. On a throw the nodes made are gone and `level` is
// untouched.
std::vector<Node*> LevelAbove(const std::vector<Node*>& level) {
  const std::size_t parents = (level.size() + kInnerCapacity - 1) / kInnerCapacity;
  std::vector<Node*> above;
  above.reserve(parents);
  try {
    std::size_t from = 0;
    for (std::size_t p = 0; p < parents; ++p) {
      const std::size_t take = level.size() / parents + (p < level.size() % parents ? 1 : 0);
      above.push_back(new Inner);
      Inner* in = AsInner(above.back());
      for (std::size_t k = 0; k < take; ++k) {
        Node* kid = level[from + k];
        if (k > 0) in->seps[k] = EntryText::Make(FirstEntry(kid).View());
        in->kids[k] = kid;
        in->counts[k] = static_cast<std::uint32_t>(CountOf(kid));
        in->n = static_cast<std::uint16_t>(k + 1);
      }
      from += take;
    }
  } catch (...) {
    for (Node* node : above) {
      Inner* in = AsInner(node);
      for (std::uint16_t i = 1; i < in->n; ++i) in->seps[i].Free();
      delete in;
    }
    throw;
  }
  return above;
}

}  // namespace

// Entries appended in order fill leaves left to right, whole, so that none
// has to move again; Finish puts the inner levels over them. What is not
// finished goes with the builder.
class SortedEntryList::Builder {
 public:
  explicit Builder(std::size_t entries) { level_.reserve(entries / kLeafCapacity + 1); }
  ~Builder() {
    for (Node* node : level_) DestroyTree(node);
  }
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  // Takes `text` over, and frees it if it throws.
  void Append(EntryText text) {
    if (size_ >= kMaxSize) {
      text.Free();
      throw std::length_error("SortedEntryList is full");
    }
    if (last_ == nullptr || last_->n == kLeafCapacity) {
      try {
        auto leaf = std::make_unique<Leaf>();
        level_.push_back(leaf.get());
        leaf->prev = last_;
        if (last_ != nullptr) last_->next = leaf.get();
        last_ = leaf.release();
      } catch (...) {
        text.Free();
        throw;
      }
    }
    last_->keys[last_->n++] = text;
    ++size_;
  }

  SortedEntryList Finish() {
    std::size_t height = level_.empty() ? 0 : 1;
    for (; level_.size() > 1; ++height) level_ = LevelAbove(level_);
    SortedEntryList list;
    if (!level_.empty()) {
      list.root_ = level_.front();
      list.size_ = size_;
      list.height_ = height;
    }
    level_.clear();
    return list;
  }

 private:
  std::vector<Node*> level_;
  Leaf* last_ = nullptr;
  std::size_t size_ = 0;
};

SortedEntryList SortedEntryList::FromBatch(EntryBatch& batch) {
  Builder built(batch.Size());
  std::vector<EntryText> run;
  while (batch.TakeRun(run)) {
    std::size_t placed = 0;
    try {
      for (; placed < run.size(); ++placed) built.Append(run[placed]);
    } catch (...) {
      while (++placed < run.size()) run[placed].Free();
      throw;
    }
  }
  return built.Finish();
}

SortedEntryList SortedEntryList::Merged(const SortedEntryList& list, const SortedEntryList& fresh,
                                        std::size_t& added) {
  Builder built(list.Size() + fresh.Size());
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
  SortedEntryList merged = built.Finish();
  added = came;
  return merged;
}

SortedEntryList::~SortedEntryList() {
  DestroyTree(root_);
}

SortedEntryList::SortedEntryList(SortedEntryList&& other) noexcept
    : root_(std::exchange(other.root_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      height_(std::exchange(other.height_, 0)) {}

SortedEntryList& SortedEntryList::operator=(SortedEntryList&& other) noexcept {
  if (this != &other) {
    DestroyTree(root_);
    root_ = std::exchange(other.root_, nullptr);
    size_ = std::exchange(other.size_, 0);
    height_ = std::exchange(other.height_, 0);
  }
  return *this;
}

void SortedEntryList::Clear() {
  DestroyTree(root_);
  root_ = nullptr;
  size_ = 0;
  height_ = 0;
}

std::optional<std::size_t> SortedEntryList::Find(std::string_view entry) const {
  if (root_ == nullptr) return std::nullopt;
  std::size_t position = 0;
  const Node* node = root_;
  for (std::size_t depth = 0; !node->leaf; ++depth) {
    const Inner* in = AsInner(node);
    const std::size_t child = LowerChild(in, entry);
    node = in->kids[child];
    PrefetchSearch(node, depth + 2 == height_);
    position += SumBefore(in, child);
  }
  const Leaf* leaf = AsLeaf(node);
  std::size_t index = LowerIndex(leaf, entry);
  position += index;
  // Every entry of this leaf is smaller: the first candidate opens the next one.
  if (index == leaf->n) {
    leaf = leaf->next;
    index = 0;
    if (leaf == nullptr) return std::nullopt;
  }
  if (leaf->keys[index].View() != entry) return std::nullopt;
  return position;
}

std::size_t SortedEntryList::Insert(std::string_view entry) {
  return *Place(entry, /*unique=*/false);
}

std::optional<std::size_t> SortedEntryList::InsertUnique(std::string_view entry) {
  return Place(entry, /*unique=*/true);
}

std::optional<std::size_t> SortedEntryList::Place(std::string_view entry, bool unique) {
  if (size_ >= kMaxSize) throw std::length_error("SortedEntryList is full");
  if (root_ == nullptr) {
    auto leaf = std::make_unique<Leaf>();
    leaf->keys[0] = EntryText::Make(entry);
    leaf->n = 1;
    root_ = leaf.release();
    size_ = 1;
    height_ = 1;
    return 0;
  }

  std::array<PathStep, kMaxHeight> path;
  std::size_t depth = 0;
  std::size_t position = 0;
  Node* node = root_;
  while (!node->leaf) {
    Inner* in = AsInner(node);
    const std::size_t child = UpperChild(in, entry);
    node = in->kids[child];
    PrefetchSearch(node, depth + 2 == height_);
    position += SumBefore(in, child);
    path[depth++] = {in, child};
  }
  Leaf* leaf = AsLeaf(node);
  const std::size_t index = UpperIndex(leaf, entry);
  position += index;
  // The new place is after every equal entry, so an equal one, if any, is
  // the entry just before it: one descent both checks and inserts.
  if (unique) {
    const Leaf* before = index > 0 ? leaf : leaf->prev;
    const std::size_t at = index > 0 ? index - 1 : (before ? before->n - 1u : 0);
    if (before != nullptr && before->n > 0 && before->keys[at].View() == entry) return std::nullopt;
  }
  if (leaf->n == kLeafCapacity && depth > 0) {
    TextGuard text(EntryText::Make(entry));
    if (PlaceThroughNeighbour(path[depth - 1].node, path[depth - 1].child, leaf, index, text.View())) {
      text.Release();
      for (std::size_t d = 0; d + 1 < depth; ++d) ++path[d].node->counts[path[d].child];
      ++size_;
      return position;
    }
  }

  // Everything that can fail is allocated before the tree is touched, so an
  // insertion that runs out of memory leaves the list exactly as it was.
  std::size_t innerSplits = 0;
  const bool leafSplits = leaf->n == kLeafCapacity;
  if (leafSplits) {
    while (innerSplits < depth && path[depth - 1 - innerSplits].node->n == kInnerCapacity) ++innerSplits;
  }
  const bool rootGrows = leafSplits && innerSplits == depth;
  TextGuard text(EntryText::Make(entry));
  std::unique_ptr<Leaf> spareLeaf;
  TextGuard leafSeparator;
  std::array<std::unique_ptr<Inner>, kMaxHeight + 1> spareInner;
  std::size_t sparesUsed = 0;
  if (leafSplits) {
    spareLeaf = std::make_unique<Leaf>();
    // The entry at the split point opens the right half whichever side the
    // new entry joins (see below), so the separator can be copied now; an
    // entry past a full leaf's last opens a leaf of its own.
    leafSeparator.Reset(EntryText::Make(index == kLeafCapacity ? entry : leaf->keys[kLeafCapacity / 2].View()));
    for (std::size_t i = 0; i < innerSplits + (rootGrows ? 1 : 0); ++i) {
      spareInner[i] = std::make_unique<Inner>();
    }
  }

  // From here on nothing throws.
  if (!leafSplits) {
    ShiftRight(leaf->keys, index, leaf->n);
    leaf->keys[index] = text.Release();
    ++leaf->n;
    for (std::size_t d = 0; d < depth; ++d) ++path[d].node->counts[path[d].child];
    ++size_;
    return position;
  }

  Leaf* right = spareLeaf.release();
  constexpr std::uint16_t half = kLeafCapacity / 2;
  if (index == kLeafCapacity) {
    // Past the end of a full leaf: the leaf stays full and the entry starts
    // the next one. Lists often arrive sorted, and halving leaves that are
    // never filled again would leave the tree half empty.
    right->keys[0] = text.Release();
    right->n = 1;
  } else {
    std::memcpy(static_cast<void*>(right->keys), leaf->keys + half, (kLeafCapacity - half) * sizeof(EntryText));
    right->n = kLeafCapacity - half;
    leaf->n = half;
    // index <= half: the entry ends the left half at the latest, and the old
    // keys[half] still opens the right one; index > half: it lands at right[1+].
    if (index <= half) {
      ShiftRight(leaf->keys, index, leaf->n);
      leaf->keys[index] = text.Release();
      ++leaf->n;
    } else {
      ShiftRight(right->keys, index - half, right->n);
      right->keys[index - half] = text.Release();
      ++right->n;
    }
  }
  right->next = leaf->next;
  right->prev = leaf;
  if (leaf->next) leaf->next->prev = right;
  leaf->next = right;

  Node* carry = right;
  EntryText carrySeparator = leafSeparator.Release();
  for (std::size_t d = depth; d-- > 0;) {
    Inner* in = path[d].node;
    const std::size_t child = path[d].child;
    if (carry == nullptr) {
      ++in->counts[child];
      continue;
    }
    in->counts[child] = static_cast<std::uint32_t>(CountOf(in->kids[child]));
    const auto carryCount = static_cast<std::uint32_t>(CountOf(carry));
    const std::size_t at = child + 1;
    if (in->n < kInnerCapacity) {
      InsertChild(in, at, carry, carrySeparator, carryCount);
      carry = nullptr;
      continue;
    }
    Inner* sibling = spareInner[sparesUsed++].release();
    constexpr std::uint16_t innerHalf = kInnerCapacity / 2;
    const EntryText up = in->seps[innerHalf];
    std::memcpy(static_cast<void*>(sibling->kids), in->kids + innerHalf,
                (kInnerCapacity - innerHalf) * sizeof(Node*));
    std::memcpy(static_cast<void*>(sibling->counts), in->counts + innerHalf,
                (kInnerCapacity - innerHalf) * sizeof(std::uint32_t));
    std::memcpy(static_cast<void*>(sibling->seps + 1), in->seps + innerHalf + 1,
                (kInnerCapacity - innerHalf - 1) * sizeof(EntryText));
    sibling->n = kInnerCapacity - innerHalf;
    in->n = innerHalf;
    if (at <= innerHalf) {
      InsertChild(in, at, carry, carrySeparator, carryCount);
    } else {
      InsertChild(sibling, at - innerHalf, carry, carrySeparator, carryCount);
    }
    carry = sibling;
    carrySeparator = up;
  }
  if (carry != nullptr) {
    Inner* root = spareInner[sparesUsed++].release();
    root->kids[0] = root_;
    root->counts[0] = static_cast<std::uint32_t>(CountOf(root_));
    root->kids[1] = carry;
    root->counts[1] = static_cast<std::uint32_t>(CountOf(carry));
    root->seps[1] = carrySeparator;
    root->n = 2;
    root_ = root;
    ++height_;
  }
  ++size_;
  return position;
}

void SortedEntryList::EraseAt(std::size_t position) {
  assert(position < size_);
  std::array<PathStep, kMaxHeight> path;
  std::size_t depth = 0;
  Node* node = root_;
  while (!node->leaf) {
    Inner* in = AsInner(node);
    std::size_t child = 0;
    while (position >= in->counts[child]) position -= in->counts[child++];
    path[depth++] = {in, child};
    node = in->kids[child];
  }
  Leaf* leaf = AsLeaf(node);
  leaf->keys[position].Free();
  ShiftLeft(leaf->keys, position, leaf->n);
  --leaf->n;
  --size_;
  for (std::size_t d = depth; d-- > 0;) {
    --path[d].node->counts[path[d].child];
    Rebalance(path[d].node, path[d].child);
  }
  while (root_ != nullptr && !root_->leaf && root_->n <= 1) {
    Inner* old = AsInner(root_);
    root_ = old->n == 1 ? old->kids[0] : nullptr;
    delete old;
    --height_;
  }
  if (root_ != nullptr && root_->leaf && root_->n == 0) {
    delete AsLeaf(root_);
    root_ = nullptr;
    height_ = 0;
  }
}

std::optional<std::size_t> SortedEntryList::RemoveFirst(std::string_view entry) {
  const std::optional<std::size_t> position = Find(entry);
  if (position) EraseAt(*position);
  return position;
}

std::string_view SortedEntryList::At(std::size_t position) const {
  assert(position < size_);
  const Node* node = root_;
  while (!node->leaf) {
    const Inner* in = AsInner(node);
    std::size_t child = 0;
    while (position >= in->counts[child]) position -= in->counts[child++];
    node = in->kids[child];
  }
  return AsLeaf(node)->keys[position].View();
}

SortedEntryList::Iterator SortedEntryList::begin() const {
  if (root_ == nullptr) return end();
  const Node* node = root_;
  while (!node->leaf) node = AsInner(node)->kids[0];
  return Iterator(AsLeaf(node), 0);
}

std::string_view SortedEntryList::Iterator::operator*() const {
  return leaf_->keys[index_].View();
}

SortedEntryList::Iterator& SortedEntryList::Iterator::operator++() {
  if (++index_ == leaf_->n) {
    leaf_ = leaf_->next;
    index_ = 0;
  }
  return *this;
}

std::vector<std::string> SortedEntryList::ToVector() const {
  std::vector<std::string> out;
  out.reserve(size_);
  for (std::string_view entry : *this) out.emplace_back(entry);
  return out;
}

namespace {

std::size_t MemoryOf(const Node* node) {
  if (node->leaf) {
    const Leaf* leaf = AsLeaf(node);
    std::size_t bytes = sizeof(Leaf);
    for (std::uint16_t i = 0; i < leaf->n; ++i) bytes += leaf->keys[i].HeapBytes();
    return bytes;
  }
  const Inner* in = AsInner(node);
  std::size_t bytes = sizeof(Inner);
  for (std::uint16_t i = 0; i < in->n; ++i) {
    if (i > 0) bytes += in->seps[i].HeapBytes();
    bytes += MemoryOf(in->kids[i]);
  }
  return bytes;
}

}  // namespace

std::size_t SortedEntryList::MemoryUsage() const {
  return root_ == nullptr ? 0 : MemoryOf(root_);
}
