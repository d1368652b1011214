// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The typed scan's second half: storing the groups of one match into the
// caller's targets by selector text, whatever the match was made with.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "regexp/ScanSelector.h"
#include "regexp/zimRegExp.h"

// The one match a scan reads from, and the reading of its selectors.
class ScanSource {
 public:
  virtual ~ScanSource() = default;
  virtual std::int32_t GroupCount() const = 0;
  // Empty for a group that did not take part; valid until the next call.
  virtual std::string_view GroupText(std::int32_t index) = 0;
  virtual std::int32_t GroupIndex(const std::string& name) const = 0;
  // Valid until the next call.
  virtual const ScanSelector& Selector(std::string_view text) = 0;
};

// Each selector/target pair of `args`, in order; raises as RegExpScanf does.
void StorePairs(ScanSource& source, std::span<const TScanArg> args, bool zeroMissing);
