// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// What both engines' seams share: the allocator they are given and the texts
// of the result codes.
#include "regexp/pcre_intf.h"

#include <cstdlib>
#include <iterator>

void* PcreBlockAlloc(std::size_t size) {
  return std::calloc(1, size == 0 ? 1 : size);
}

void PcreBlockFree(void* block) {
  std::free(block);
}

std::string RegExpErrorText(std::int32_t code) {
  // -10 to -13 are the component's own codes; the engine's later meanings of
  // those numbers never arise, as no UTF-8 or partial matching is asked for.
  static const char* const kTexts[] = {
      "No match found",
      "Null-pointer",
      "Bad option",
      "Bad magic value",
      "Unknown node found",
      "Out of memory",
      "No such named group",
      "Match reached limit",
      "Callout error",
      "Unable to compile pattern",
      "Unable to study pattern",
      "Parameter value out of bounds",
      "Generic error",
  };
  constexpr std::int32_t kLowest = -static_cast<std::int32_t>(std::size(kTexts));
  if (code >= 0) return {};
  if (code >= kLowest) return kTexts[-code - 1];
  return "Engine error " + std::to_string(code);
}
