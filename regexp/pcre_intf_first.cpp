// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The seam over PCRE's first interface (libpcre3).
#include <pcre.h>

#include <mutex>

#include "regexp/pcre_intf.h"

struct PcrePattern {
  pcre* code = nullptr;
  pcre_extra* study = nullptr;
};

namespace {

void EnsureAllocator() {
  static std::once_flag once;
  std::call_once(once, [] {
    pcre_malloc = PcreBlockAlloc;
    pcre_free = PcreBlockFree;
  });
}

int CompileFlags(TzimRegExpOptions options) {
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

int MatchFlags(TzimRegExpOptions options) {
  int flags = 0;
  if (!options.Contains(roBol)) flags |= PCRE_NOTBOL;
  if (!options.Contains(roEol)) flags |= PCRE_NOTEOL;
  if (!options.Contains(roEmptyValid)) flags |= PCRE_NOTEMPTY;
  return flags;
}

}  // namespace

PcrePattern* PcreCompile(const char* pattern, TzimRegExpOptions options, std::string& error,
                         int& errorOffset) {
  EnsureAllocator();
  const char* message = nullptr;
  pcre* code = pcre_compile(pattern, CompileFlags(options), &message, &errorOffset, nullptr);
  if (code == nullptr) {
    error = message != nullptr ? message : "";
    return nullptr;
  }
  return new PcrePattern{code, nullptr};
}

void PcreStudy(PcrePattern* pattern) {
  const char* error = nullptr;
  pattern->study = pcre_study(pattern->code, 0, &error);
}

void PcreRelease(PcrePattern* pattern) {
  if (pattern == nullptr) return;
  if (pattern->study != nullptr) pcre_free_study(pattern->study);
  pcre_free(pattern->code);
  delete pattern;
}

int PcreCaptureCount(const PcrePattern* pattern, int& count) {
  return pcre_fullinfo(pattern->code, pattern->study, PCRE_INFO_CAPTURECOUNT, &count);
}

int PcreExec(PcrePattern* pattern, std::string_view subject, int start, TzimRegExpOptions options,
             int* offsets, int offsetCount) {
  if (pattern == nullptr) return kPcreNullArgument;
  return pcre_exec(pattern->code, pattern->study, subject.data(), static_cast<int>(subject.size()), start,
                   MatchFlags(options), offsets, offsetCount);
}

int PcreNameToNumber(const PcrePattern* pattern, const char* name) {
  if (pattern == nullptr) return kPcreNullArgument;
  return pcre_get_stringnumber(pattern->code, name);
}

std::string PcreEngineVersion() {
  return std::string("PCRE ") + pcre_version();
}
