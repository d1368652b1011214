// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The seam over PCRE2 (libpcre2-8), answering as PCRE's first interface does.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>

#include "regexp/pcre_intf.h"

struct PcrePattern {
  pcre2_code* code = nullptr;
  // Made once with the pattern, so that a search allocates nothing.
  pcre2_match_data* match = nullptr;
};

namespace {

void* EngineAlloc(PCRE2_SIZE size, void*) {
  return PcreBlockAlloc(size);
}

void EngineFree(void* block, void*) {
  PcreBlockFree(block);
}

// Every block the engine takes, for patterns and searches alike, comes from
// the zero-filling allocator; the contexts live for the whole run.
pcre2_general_context* General() {
  static pcre2_general_context* const context = pcre2_general_context_create(EngineAlloc, EngineFree, nullptr);
  return context;
}

pcre2_compile_context* CompileContext() {
  static pcre2_compile_context* const context = pcre2_compile_context_create(General());
  return context;
}

std::uint32_t CompileFlags(TzimRegExpOptions options) {
  std::uint32_t flags = 0;
  if (!options.Contains(roGreedy)) flags |= PCRE2_UNGREEDY;
  if (!options.Contains(roCaseSensitive)) flags |= PCRE2_CASELESS;
  if (options.Contains(roMultiline)) flags |= PCRE2_MULTILINE;
  if (options.Contains(roDotAll)) flags |= PCRE2_DOTALL;
  if (options.Contains(roAnchored)) flags |= PCRE2_ANCHORED;
  if (options.Contains(roIgnoreWhitespace)) flags |= PCRE2_EXTENDED;
  if (!options.Contains(roAutoCapture)) flags |= PCRE2_NO_AUTO_CAPTURE;
  return flags;
}

std::uint32_t MatchFlags(TzimRegExpOptions options) {
  std::uint32_t flags = 0;
  if (!options.Contains(roBol)) flags |= PCRE2_NOTBOL;
  if (!options.Contains(roEol)) flags |= PCRE2_NOTEOL;
  if (!options.Contains(roEmptyValid)) flags |= PCRE2_NOTEMPTY;
  return flags;
}

// PCRE2's result codes in the first interface's numbering.
int FirstInterfaceCode(int code) {
  switch (code) {
    case PCRE2_ERROR_NOMATCH: return -1;
    case PCRE2_ERROR_NULL: return -2;
    case PCRE2_ERROR_BADOPTION: return -3;
    case PCRE2_ERROR_BADMAGIC: return -4;
    case PCRE2_ERROR_NOMEMORY:
    case PCRE2_ERROR_HEAPLIMIT: return -6;
    case PCRE2_ERROR_NOSUBSTRING:
    case PCRE2_ERROR_NOUNIQUESUBSTRING: return -7;
    case PCRE2_ERROR_MATCHLIMIT: return -8;
    case PCRE2_ERROR_CALLOUT: return -9;
    case PCRE2_ERROR_PARTIAL: return -12;
    case PCRE2_ERROR_DEPTHLIMIT: return -21;
    case PCRE2_ERROR_BADOFFSET: return -24;
    case PCRE2_ERROR_JIT_STACKLIMIT: return -27;
    case PCRE2_ERROR_BADMODE: return -28;
    default: return -14;  // the first interface's internal error
  }
}

}  // namespace

PcrePattern* PcreCompile(const char* pattern, TzimRegExpOptions options, std::string& error,
                         int& errorOffset) {
  int code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                                       CompileFlags(options), &code, &offset, CompileContext());
  if (compiled == nullptr) {
    PCRE2_UCHAR message[256];
    if (pcre2_get_error_message(code, message, sizeof message) < 0) message[0] = 0;
    error = reinterpret_cast<const char*>(message);
    errorOffset = static_cast<int>(offset);
    return nullptr;
  }
  pcre2_match_data* match = pcre2_match_data_create_from_pattern(compiled, General());
  if (match == nullptr) {
    pcre2_code_free(compiled);
    error = "failed to get memory";
    errorOffset = 0;
    return nullptr;
  }
  return new PcrePattern{compiled, match};
}

void PcreStudy(PcrePattern* pattern) {
  // PCRE2 studies every pattern as it compiles it; what is left to gain is
  // machine code, where this build of the engine can make it.
  pcre2_jit_compile(pattern->code, PCRE2_JIT_COMPLETE);
}

void PcreRelease(PcrePattern* pattern) {
  if (pattern == nullptr) return;
  pcre2_match_data_free(pattern->match);
  pcre2_code_free(pattern->code);
  delete pattern;
}

int PcreCaptureCount(const PcrePattern* pattern, int& count) {
  std::uint32_t groups = 0;
  const int rc = pcre2_pattern_info(pattern->code, PCRE2_INFO_CAPTURECOUNT, &groups);
  if (rc != 0) return FirstInterfaceCode(rc);
  count = static_cast<int>(groups);
  return 0;
}

int PcreExec(PcrePattern* pattern, std::string_view subject, int start, TzimRegExpOptions options,
             int* offsets, int offsetCount) {
  if (pattern == nullptr || (offsets == nullptr && offsetCount > 0)) return kPcreNullArgument;
  if (offsetCount < 0) return -3;
  if (start < 0 || static_cast<std::size_t>(start) > subject.size()) return -24;
  const int rc = pcre2_match(pattern->code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                             static_cast<PCRE2_SIZE>(start), MatchFlags(options), pattern->match, nullptr);
  if (rc < 0) return FirstInterfaceCode(rc);
  // The first interface fills pairs in the first two thirds of the vector; the
  // object always makes room for every group.
  const PCRE2_SIZE* found = pcre2_get_ovector_pointer(pattern->match);
  const int room = offsetCount / 3;
  const int pairs = std::min(room, static_cast<int>(pcre2_get_ovector_count(pattern->match)));
  for (int i = 0; i < pairs * 2; ++i) {
    offsets[i] = found[i] == PCRE2_UNSET ? -1 : static_cast<int>(found[i]);
  }
  return rc > room ? 0 : rc;
}

int PcreNameToNumber(const PcrePattern* pattern, const char* name) {
  if (pattern == nullptr || name == nullptr) return kPcreNullArgument;
  const int rc = pcre2_substring_number_from_name(pattern->code, reinterpret_cast<PCRE2_SPTR>(name));
  return rc < 0 ? FirstInterfaceCode(rc) : rc;
}

std::string PcreEngineVersion() {
  PCRE2_UCHAR version[64];
  if (pcre2_config(PCRE2_CONFIG_VERSION, version) < 0) return "PCRE2";
  return std::string("PCRE2 ") + reinterpret_cast<const char*>(version);
}
