// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Selectors of RegExpScanf: "[prefix:]TYPE[(length)]", read by matching them
// against a fixed grammar with the default options (so letter case is free).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "regexp/ScanConversions.h"

// Group 2 is the prefix, group 4 the type name, group 6 the length.
inline constexpr std::string_view kScanSelectorGrammar =
    "^(([a-zA-Z_0-9]{1,3}):)?((longword|cardinal|shortint|single|double|extended|byte|word|integer|boolean|"
    "string|int64|pchar|char)(\\(([0-9]{1,5})\\))?)$";

inline constexpr std::int32_t kSelectorPrefixGroup = 2;
inline constexpr std::int32_t kSelectorTypeGroup = 4;
inline constexpr std::int32_t kSelectorLengthGroup = 6;

struct ScanSelector {
  bool valid = false;
  // Empty: the group after the previous selector's.
  std::string prefix;
  // Set when the prefix reads as a number; otherwise it names a group.
  std::optional<std::int32_t> prefixNumber;
  ScanType type = ScanType::Integer;
  // 0 when the selector gives none.
  std::int32_t length = 0;
};

// The selector whose grammar groups 2, 4 and 6 hold these texts.
ScanSelector SelectorFromGroups(std::string_view prefix, std::string_view typeName, std::string_view length);
