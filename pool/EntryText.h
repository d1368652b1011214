// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// One entry as the sorted lists hold it and as a batch gathers it: 24 bytes,
// trivially copyable, so that nodes and sorts move entries with memcpy. Texts
// of up to 22 bytes sit inline with their length in the last byte; longer ones
// live on the heap and the last byte holds kHeapTag. Whoever holds the slot
// owns the heap block; copies of the struct are moves.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>

struct EntryText {
  static constexpr std::size_t kInlineCapacity = 22;
  static constexpr unsigned char kHeapTag = 0xFF;

  alignas(8) unsigned char raw[24];

  // Throws std::bad_alloc for a long text, owning nothing then.
  static EntryText Make(std::string_view text) {
    EntryText e{};
    if (text.size() <= kInlineCapacity) {
      std::memcpy(e.raw, text.data(), text.size());
      e.raw[23] = static_cast<unsigned char>(text.size());
    } else {
      char* block = new char[text.size()];
      std::memcpy(block, text.data(), text.size());
      const std::size_t size = text.size();
      std::memcpy(e.raw, &block, sizeof block);
      std::memcpy(e.raw + 8, &size, sizeof size);
      e.raw[23] = kHeapTag;
    }
    return e;
  }

  bool OnHeap() const { return raw[23] == kHeapTag; }

  std::string_view View() const {
    if (!OnHeap()) return {reinterpret_cast<const char*>(raw), raw[23]};
    const char* block;
    std::size_t size;
    std::memcpy(&block, raw, sizeof block);
    std::memcpy(&size, raw + 8, sizeof size);
    return {block, size};
  }

  std::size_t HeapBytes() const { return OnHeap() ? View().size() : 0; }

  void Free() {
    if (OnHeap()) delete[] View().data();
  }
};
static_assert(sizeof(EntryText) == 24);
static_assert(std::is_trivially_copyable_v<EntryText>);
