// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// TzimRegExp: a pattern, an option set and a subject text over the PCRE engine
// (through regexp/pcre_intf, whichever engine the build uses).
// The pattern is compiled again whenever it or the options change; Match walks
// the text from one match to the next.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "regexp/zimRegExpErrors.h"
#include "regexp/zimRegExpOptions.h"
#include "regexp/zimVersion.h"

struct PcrePattern;

class TzimRegExp {
 public:
  TzimRegExp() = default;
  ~TzimRegExp();
  TzimRegExp(const TzimRegExp&) = delete;
  TzimRegExp& operator=(const TzimRegExp&) = delete;

  const std::string& Pattern() const { return pattern_; }
  // A different pattern is stored and compiled (EzimRegExp -10 when it does not
  // compile; the object then stays usable, uncompiled); an equal one changes nothing.
  void SetPattern(std::string_view pattern);

  TzimRegExpOptions Options() const { return options_; }
  // A different set is stored and the pattern compiled again.
  void SetOptions(TzimRegExpOptions options);

  const std::string& Text() const { return text_; }
  // A different text is stored and the search rewound to its start; the last
  // match's groups stay readable.
  void SetText(std::string_view text);

  std::int32_t MatchStart() const { return matchStart_; }
  // Raises EzimRegExp -13 for an offset outside the text; drags MatchEnd along.
  void SetMatchStart(std::int32_t value);

  std::int32_t MatchEnd() const { return matchEnd_; }
  // Raises EzimRegExp -13 for an offset before MatchStart or outside the text.
  void SetMatchEnd(std::int32_t value);

  // After a match, the highest group that took part plus one; after a failed
  // one, the engine's negative code (-1: no match).
  std::int32_t GroupCount() const { return groupCount_; }

  // Searches from MatchEnd; true moves MatchEnd to the end of the match.
  bool Match();

  // Releases the compiled pattern and compiles Pattern under Options afresh.
  void Compile();

  // Offsets and text of group `index` of the last match; EzimRegExp -12 for an
  // index outside 0 .. GroupCount - 1. A group that did not take part gives -1
  // and empty text.
  std::int32_t GetMatchedTextStart(std::int32_t index) const;
  std::int32_t GetMatchedTextEnd(std::int32_t index) const;
  std::string GetMatchedText(std::int32_t index) const;
  // The same text without a copy; valid until Text changes.
  std::string_view MatchedTextView(std::int32_t index) const;
  // False outside the range, and for a group that captured nothing.
  bool GroupMatched(std::int32_t index) const;

  // Named groups compare their names exactly. GetGroupIndex raises
  // EzimRegExpNamedGroup -7 for a name the pattern does not define.
  std::int32_t GetGroupIndex(const std::string& name) const;
  bool NamedGroupExists(const std::string& name) const;
  bool NamedGroupMatched(const std::string& name) const;

  TPackageVersion PackageVersion() const { return TPackageVersion(zimPackageVersion); }
  // Kept for symmetry with the reader; the version is not the caller's to change.
  void SetPackageVersion(const TPackageVersion&) {}

 private:
  void Release();
  bool GroupInRange(std::int32_t index) const;
  int StringNumber(const std::string& name) const;

  std::string pattern_;
  PcrePattern* compiled_ = nullptr;
  std::string compileError_;
  std::int32_t compileErrorOffset_ = 0;
  std::string text_;
  std::int32_t groupCount_ = 0;
  std::int32_t matchStart_ = 0;
  std::int32_t matchEnd_ = 0;
  TzimRegExpOptions options_ = DefaultRegExpOptions;
  std::vector<int> offsets_;
};

// Sets the text, then MatchStart and MatchEnd (each with its checks), then
// searches from newMatchEnd. (text, 0, 0) finds the first match in all of it.
bool MatchTextAgainst(TzimRegExp& regExp, std::string_view text, std::int32_t newMatchStart,
                      std::int32_t newMatchEnd);
