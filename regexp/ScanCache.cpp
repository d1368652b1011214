// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/ScanCache.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// A file import uses one pattern and one selector; a handful of slots covers
// callers that alternate between a few.
constexpr std::size_t kPatternSlots = 8;
constexpr std::size_t kSelectorSlots = 16;
// Longer texts cannot fit the grammar; reading them again costs little.
constexpr std::size_t kLongestKeptSelector = 32;

struct PatternSlot {
  std::string pattern;
  TzimRegExpOptions options;
  std::unique_ptr<TzimRegExp> regExp;
  std::uint64_t lastUse = 0;
};

struct SelectorSlot {
  std::string text;
  ScanSelector selector;
  bool used = false;
};

struct ThreadCache {
  std::array<PatternSlot, kPatternSlots> patterns;
  std::uint64_t clock = 0;
  std::unique_ptr<TzimRegExp> grammar;
  std::array<SelectorSlot, kSelectorSlots> selectors;
  std::size_t nextSelector = 0;
  ScanSelector scratch;
};

ThreadCache& Cache() {
  thread_local ThreadCache cache;
  return cache;
}

ScanSelector ReadSelector(TzimRegExp& grammar, std::string_view text) {
  if (!MatchTextAgainst(grammar, text, 0, 0)) return {};
  auto group = [&](std::int32_t index) {
    return index < grammar.GroupCount() ? grammar.MatchedTextView(index) : std::string_view();
  };
  return SelectorFromGroups(group(kSelectorPrefixGroup), group(kSelectorTypeGroup),
                            group(kSelectorLengthGroup));
}

}  // namespace

TzimRegExp& CachedPattern(std::string_view pattern, TzimRegExpOptions options) {
  ThreadCache& cache = Cache();
  ++cache.clock;
  PatternSlot* oldest = &cache.patterns[0];
  for (PatternSlot& slot : cache.patterns) {
    if (slot.regExp && slot.options == options && slot.pattern == pattern) {
      slot.lastUse = cache.clock;
      return *slot.regExp;
    }
    if (slot.lastUse < oldest->lastUse) oldest = &slot;
  }
  auto regExp = std::make_unique<TzimRegExp>();
  regExp->SetOptions(options);
  regExp->SetPattern(pattern);  // raises before the slot is touched
  oldest->pattern.assign(pattern);
  oldest->options = options;
  oldest->regExp = std::move(regExp);
  oldest->lastUse = cache.clock;
  return *oldest->regExp;
}

const ScanSelector& CachedSelector(std::string_view text) {
  ThreadCache& cache = Cache();
  for (const SelectorSlot& slot : cache.selectors)
    if (slot.used && slot.text == text) return slot.selector;
  if (!cache.grammar) {
    auto grammar = std::make_unique<TzimRegExp>();
    grammar->SetOptions(DefaultRegExpOptions);
    grammar->SetPattern(kScanSelectorGrammar);
    cache.grammar = std::move(grammar);
  }
  if (text.size() > kLongestKeptSelector) {
    cache.scratch = ReadSelector(*cache.grammar, text);
    return cache.scratch;
  }
  SelectorSlot& slot = cache.selectors[cache.nextSelector];
  cache.nextSelector = (cache.nextSelector + 1) % kSelectorSlots;
  slot.used = false;
  slot.selector = ReadSelector(*cache.grammar, text);
  slot.text.assign(text);
  slot.used = true;
  return slot.selector;
}
