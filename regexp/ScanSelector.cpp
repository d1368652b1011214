// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/ScanSelector.h"

ScanSelector SelectorFromGroups(std::string_view prefix, std::string_view typeName, std::string_view length) {
  ScanSelector selector;
  std::string upper(typeName);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const auto type = ScanTypeFromName(upper);
  if (!type) return selector;  // the grammar admits no other name
  selector.valid = true;
  selector.type = *type;
  selector.prefix.assign(prefix);
  if (!prefix.empty()) selector.prefixNumber = ScanIntFromText(prefix);
  if (!length.empty()) selector.length = ScanIntFromText(length).value_or(0);
  return selector;
}
