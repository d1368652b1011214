// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "support/FreshScan.h"

#include <memory>
#include <string>

#include "regexp/ScanPairs.h"

namespace {

// Everything through the reference-counted face, built afresh per call.
class FreshSource final : public ScanSource {
 public:
  explicit FreshSource(std::shared_ptr<IRegExp> match)
      : match_(std::move(match)), grammar_(NewRegExp(kScanSelectorGrammar, DefaultRegExpOptions)) {}
  std::int32_t GroupCount() const override { return match_->GroupCount(); }
  std::string_view GroupText(std::int32_t index) override {
    group_ = match_->GetGroup(index);
    return group_ ? std::string_view(group_->Text()) : std::string_view();
  }
  std::int32_t GroupIndex(const std::string& name) const override { return match_->GetGroupIndex(name); }
  const ScanSelector& Selector(std::string_view text) override {
    selector_ = {};
    if (grammar_->MatchAgainst(text, 0, 0)) {
      const auto prefix = grammar_->GetGroup(kSelectorPrefixGroup);
      const auto type = grammar_->GetGroup(kSelectorTypeGroup);
      const auto length = grammar_->GetGroup(kSelectorLengthGroup);
      selector_ = SelectorFromGroups(prefix ? prefix->Text() : "", type ? type->Text() : "",
                                     length ? length->Text() : "");
    }
    return selector_;
  }

 private:
  std::shared_ptr<IRegExp> match_;
  std::shared_ptr<IRegExp> grammar_;
  std::shared_ptr<IRegExpGroup> group_;
  ScanSelector selector_;
};

}  // namespace

bool RegExpScanfUncached(std::string_view Pattern, std::string_view Text, std::span<const TScanArg> Args,
                         TzimRegExpOptions Options, bool ZeroMissing) {
  std::shared_ptr<IRegExp> match = NewRegExp(Pattern, Options);
  if (!match->MatchAgainst(Text, 0, 0)) return false;
  FreshSource source(std::move(match));
  StorePairs(source, Args, ZeroMissing);
  return true;
}

bool RegExpScanfUncached(std::string_view Pattern, std::string_view Text,
                         std::initializer_list<TScanArg> Args, TzimRegExpOptions Options, bool ZeroMissing) {
  return RegExpScanfUncached(Pattern, Text, std::span<const TScanArg>(Args.begin(), Args.size()), Options,
                             ZeroMissing);
}
