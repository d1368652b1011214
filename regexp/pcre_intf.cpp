// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/pcre_intf.h"

#include <pcre.h>

#include <cstdlib>
#include <iterator>
#include <mutex>

namespace {

// Blocks come zero-filled so that nothing the engine forgets to set can leak
// old heap contents into a match.
void* ZeroFilledAlloc(std::size_t size) {
  return std::calloc(1, size == 0 ? 1 : size);
}

void ReleaseBlock(void* block) {
  std::free(block);
}

}  // namespace

void EnsurePcreAllocator() {
  static std::once_flag once;
  std::call_once(once, [] {
    pcre_malloc = ZeroFilledAlloc;
    pcre_free = ReleaseBlock;
  });
}

int PcreCompileFlags(TzimRegExpOptions options) {
  int flags = 0;
  if (!options.Contains(roGreedy)) flags |= PCRE_UNGREEDY;
  if (!options.Contains(roCaseSensitive)) flags |= PCRE_CASELESS;
  if (options.Contains(roMultiline)) flags |= PCRE_MULTILINE;
  if (options.Contains(roDotAll)) flags |= PCRE_DOTALL;
  if (options.Contains(roAnchored)) flags |= PCRE_ANCHORED;
  if (options.Contains(roIgnoreWhitespace)) flags |= PCRE_EXTENDED;
  if (!options.Contains(roAutoCapture)) flags |= PCRE_NO_AUTO_CAPTURE;
  return flags;
}

int PcreMatchFlags(TzimRegExpOptions options) {
  int flags = 0;
  if (!options.Contains(roBol)) flags |= PCRE_NOTBOL;
  if (!options.Contains(roEol)) flags |= PCRE_NOTEOL;
  if (!options.Contains(roEmptyValid)) flags |= PCRE_NOTEMPTY;
  return flags;
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
