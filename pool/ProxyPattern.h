// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The import's pattern, and a matcher made for it alone that finds exactly the
// match the regular-expression engine finds, but in time linear in the line's
// length: the engine backtracks through about n^4 ways of cutting a run of n
// digits into four numbers, and gives up (losing the line's address) past a
// few hundred digits.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The dots are unescaped on purpose: any character but a line feed may
// separate the numbers.
inline constexpr std::string_view kProxyPattern = "((([0-9]+).([0-9]+).([0-9]+).([0-9]+)):([0-9]+))";

// Begin and end offsets (end exclusive) of groups 0 to 7 of one match.
struct ProxyPatternMatch {
  struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
    friend bool operator==(const Span&, const Span&) = default;
  };
  std::array<Span, 8> groups;
};

// The leftmost match of kProxyPattern in `line`, with the engine's greedy
// choices for every group, or no value.
std::optional<ProxyPatternMatch> MatchProxyPattern(std::string_view line);

// Group 1 of that match (host ":" port), or empty text.
std::string_view FindProxyEntry(std::string_view line);

// For a line read in parts, too long to hold whole: drops the front part that
// no match can use any more, or, once the line's first match is certain,
// keeps that match alone and says so (true: the rest of the line cannot
// change it). `fresh` is how many bytes at the end came since the last call.
// FindProxyEntry then finds in what is left what it would have found in the
// whole line.
bool TrimToMatchable(std::string& line, std::size_t fresh);
