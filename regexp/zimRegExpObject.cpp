// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/zimRegExpObject.h"

#include <algorithm>

#include "regexp/pcre_intf.h"

TzimRegExp::~TzimRegExp() {
  Release();
}

void TzimRegExp::Release() {
  PcreRelease(compiled_);
  compiled_ = nullptr;
}

void TzimRegExp::SetPattern(std::string_view pattern) {
  if (pattern == pattern_) return;
  pattern_.assign(pattern);
  Compile();
}

void TzimRegExp::SetOptions(TzimRegExpOptions options) {
  if (options == options_) return;
  options_ = options;
  Compile();
}

void TzimRegExp::SetText(std::string_view text) {
  if (text == text_) return;
  text_.assign(text);
  matchStart_ = 0;
  matchEnd_ = 0;
}

void TzimRegExp::SetMatchStart(std::int32_t value) {
  if (value == matchStart_) return;
  if (value < 0) throw EzimRegExp(-13, "Cannot set MatchStart to point before start of text");
  if (static_cast<std::size_t>(value) > text_.size())
    throw EzimRegExp(-13, "Cannot set MatchStart to point after end of text");
  matchStart_ = value;
  if (matchEnd_ < matchStart_) matchEnd_ = value;
}

void TzimRegExp::SetMatchEnd(std::int32_t value) {
  if (value == matchEnd_) return;
  if (value < matchStart_) throw EzimRegExp(-13, "Cannot set MatchEnd to point before MatchStart");
  if (value > 0 && static_cast<std::size_t>(value) > text_.size())
    throw EzimRegExp(-13, "Cannot set MatchEnd to point after end of text");
  if (value < 0) throw EzimRegExp(-13, "Cannot set MatchEnd to point before start of text");
  matchEnd_ = value;
}

void TzimRegExp::Compile() {
  Release();
  offsets_.clear();
  matchStart_ = 0;
  matchEnd_ = 0;
  if (pattern_.empty()) return;

  // The engine reads a NUL-terminated pattern; a NUL inside it ends the pattern
  // there, as it always has for this interface.
  compiled_ = PcreCompile(pattern_.c_str(), options_, compileError_, compileErrorOffset_);
  if (compiled_ == nullptr) {
    throw EzimRegExp::CreateFmt(-10, "Regular expression compilation error %s at position %d",
                                compileError_.c_str(), compileErrorOffset_);
  }
  if (options_.Contains(roStudy)) PcreStudy(compiled_);
  int captureCount = 0;
  const int rc = PcreCaptureCount(compiled_, captureCount);
  if (rc != 0) {
    // Without a sized offset vector the pattern must not be run at all.
    Release();
    throw EzimRegExp(rc, "Unable to retrieve number of capture groups");
  }
  offsets_.assign(static_cast<std::size_t>(captureCount + 1) * 3, 0);
}

bool TzimRegExp::Match() {
  matchStart_ = matchEnd_;
  groupCount_ = PcreExec(compiled_, text_, matchEnd_, options_, offsets_.data(), static_cast<int>(offsets_.size()));
  if (groupCount_ < 0) return false;
  matchEnd_ = offsets_[1];
  return true;
}

// After a recompilation GroupCount still tells of the last match while the
// offsets are gone; the vector's size keeps such reads inside it.
bool TzimRegExp::GroupInRange(std::int32_t index) const {
  return index >= 0 && index < groupCount_ && static_cast<std::size_t>(index) * 2 + 1 < offsets_.size();
}

std::int32_t TzimRegExp::GetMatchedTextStart(std::int32_t index) const {
  if (!GroupInRange(index))
    throw EzimRegExp(-12, "GroupIndex parameter out of bounds in call to GetMatchedTextStart");
  return offsets_[static_cast<std::size_t>(index) * 2];
}

std::int32_t TzimRegExp::GetMatchedTextEnd(std::int32_t index) const {
  if (!GroupInRange(index))
    throw EzimRegExp(-12, "GroupIndex parameter out of bounds in call to GetMatchedTextEnd");
  return offsets_[static_cast<std::size_t>(index) * 2 + 1];
}

std::string_view TzimRegExp::MatchedTextView(std::int32_t index) const {
  const std::int32_t start = GetMatchedTextStart(index);
  const std::int32_t end = GetMatchedTextEnd(index);
  // The offsets belong to the text of the last match, which a shorter Text
  // may since have replaced: what lies past the current text reads as nothing.
  const std::size_t size = text_.size();
  if (start < 0 || end <= start || static_cast<std::size_t>(start) >= size) return {};
  const std::size_t stop = std::min(static_cast<std::size_t>(end), size);
  return std::string_view(text_).substr(static_cast<std::size_t>(start), stop - static_cast<std::size_t>(start));
}

std::string TzimRegExp::GetMatchedText(std::int32_t index) const {
  return std::string(MatchedTextView(index));
}

bool TzimRegExp::GroupMatched(std::int32_t index) const {
  if (!GroupInRange(index)) return false;
  return offsets_[static_cast<std::size_t>(index) * 2] < offsets_[static_cast<std::size_t>(index) * 2 + 1];
}

int TzimRegExp::StringNumber(const std::string& name) const {
  const int number = PcreNameToNumber(compiled_, name.c_str());
  if (number == kPcreNoSuchGroup || number > 0) return number;
  throw EzimRegExp::CreateFmt(number, "Error %s when trying to find named group",
                              RegExpErrorText(number).c_str());
}

std::int32_t TzimRegExp::GetGroupIndex(const std::string& name) const {
  const int number = StringNumber(name);
  if (number == kPcreNoSuchGroup) throw EzimRegExpNamedGroup(-7, "No such named group: " + name);
  return number;
}

bool TzimRegExp::NamedGroupExists(const std::string& name) const {
  return StringNumber(name) != kPcreNoSuchGroup;
}

bool TzimRegExp::NamedGroupMatched(const std::string& name) const {
  const int number = StringNumber(name);
  return number != kPcreNoSuchGroup && GroupMatched(number);
}

bool MatchTextAgainst(TzimRegExp& regExp, std::string_view text, std::int32_t newMatchStart,
                      std::int32_t newMatchEnd) {
  regExp.SetText(text);
  // Rewound first, so the checks below judge the new offsets alone and not
  // whatever the last search left behind.
  regExp.SetMatchStart(0);
  regExp.SetMatchEnd(0);
  regExp.SetMatchStart(newMatchStart);
  regExp.SetMatchEnd(newMatchEnd);
  return regExp.Match();
}
