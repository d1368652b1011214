// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/zimRegExpIntf.h"

TzimRegExpIntfWrapper::TzimRegExpIntfWrapper(std::string_view pattern, TzimRegExpOptions options) {
  regExp_.SetOptions(options);
  regExp_.SetPattern(pattern);
}

bool TzimRegExpIntfWrapper::MatchAgainst(std::string_view text, std::int32_t newMatchStart,
                                         std::int32_t newMatchEnd) {
  return MatchTextAgainst(regExp_, text, newMatchStart, newMatchEnd);
}

std::shared_ptr<IRegExpGroup> TzimRegExpIntfWrapper::GetGroup(std::int32_t index) const {
  if (index < 0 || index >= regExp_.GroupCount()) return nullptr;
  return std::make_shared<TzimRegExpGroup>(regExp_.GetMatchedTextStart(index),
                                           regExp_.GetMatchedTextEnd(index), regExp_.GetMatchedText(index));
}

std::shared_ptr<IRegExpGroup> TzimRegExpIntfWrapper::GetNamedGroup(const std::string& name) const {
  return GetGroup(regExp_.GetGroupIndex(name));
}

std::shared_ptr<IRegExp> NewRegExp(std::string_view pattern, TzimRegExpOptions options) {
  return std::make_shared<TzimRegExpIntfWrapper>(pattern, options);
}
