// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/zimRegExp.h"

#include <memory>
#include <string>

#include "regexp/ScanCache.h"
#include "regexp/ScanPairs.h"
#include "regexp/ScanConversions.h"
#include "regexp/ScanSelector.h"

namespace {

bool IsTarget(const TScanArg& arg) {
  const TScanArg::Kind kind = arg.kind();
  return (kind == TScanArg::Kind::Address || kind == TScanArg::Kind::Buffer ||
          kind == TScanArg::Kind::Characters) &&
         arg.target() != nullptr;
}

class CachedSource final : public ScanSource {
 public:
  explicit CachedSource(TzimRegExp& match) : match_(match) {}
  std::int32_t GroupCount() const override { return match_.GroupCount(); }
  std::string_view GroupText(std::int32_t index) override { return match_.MatchedTextView(index); }
  std::int32_t GroupIndex(const std::string& name) const override { return match_.GetGroupIndex(name); }
  const ScanSelector& Selector(std::string_view text) override { return CachedSelector(text); }

 private:
  TzimRegExp& match_;
};

}  // namespace

void StorePairs(ScanSource& source, std::span<const TScanArg> args, bool zeroMissing) {
  std::int32_t previousGroup = 0;
  for (std::size_t k = 0; 2 * k < args.size(); ++k) {
    const TScanArg& selectorArg = args[2 * k];
    if (!selectorArg.IsSelector()) RaiseAssertionFailed();
    if (2 * k + 1 >= args.size()) RaiseAssertionFailed();
    const TScanArg& target = args[2 * k + 1];
    if (!IsTarget(target)) RaiseAssertionFailed();

    const ScanSelector& selector = source.Selector(selectorArg.text());
    if (!selector.valid) throw ERegExpScanf("Invalid scan selector: " + std::string(selectorArg.text()));
    std::int32_t group;
    if (selector.prefix.empty()) {
      group = previousGroup + 1;
    } else if (selector.prefixNumber) {
      group = *selector.prefixNumber;
    } else {
      group = source.GroupIndex(selector.prefix);
    }

    if (group >= source.GroupCount()) {
      if (!zeroMissing) throw ERegExpScanf("Invalid scan group: " + std::string(selectorArg.text()));
      StoreMissingGroup(selector.type, target);
    } else {
      StoreGroupText(selector.type, source.GroupText(group), selector.length, target);
    }
    previousGroup = group;
  }
}


bool RegExpScanf(std::string_view Pattern, std::string_view Text, std::span<const TScanArg> Args,
                 TzimRegExpOptions Options, bool ZeroMissing) {
  TzimRegExp& match = CachedPattern(Pattern, Options);
  if (!MatchTextAgainst(match, Text, 0, 0)) return false;
  CachedSource source(match);
  StorePairs(source, Args, ZeroMissing);
  return true;
}

bool RegExpScanf(std::string_view Pattern, std::string_view Text, std::initializer_list<TScanArg> Args,
                 TzimRegExpOptions Options, bool ZeroMissing) {
  return RegExpScanf(Pattern, Text, std::span<const TScanArg>(Args.begin(), Args.size()), Options,
                     ZeroMissing);
}
