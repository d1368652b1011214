// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The seam to the regular-expression engine: the only code that calls it.
// Behind it sits PCRE's first interface where the system has it, else PCRE2
// through an adapter that answers exactly as the first interface does: the
// same option meanings, capture count, offsets in pairs (-1/-1 for a group
// that took no part), result codes, name lookup and zero-filled blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "regexp/zimRegExpOptions.h"

// Result codes, numbered as the first interface numbers them.
inline constexpr int kPcreNoMatch = -1;
inline constexpr int kPcreNullArgument = -2;
inline constexpr int kPcreNoSuchGroup = -7;

// A compiled pattern, with whatever a study added to it.
struct PcrePattern;

// Compiles `pattern` (read up to its first NUL) under `options`. Gives no
// pattern on failure, with the engine's own message and offset.
PcrePattern* PcreCompile(const char* pattern, TzimRegExpOptions options, std::string& error,
                         int& errorOffset);
// An optional speed-up: a study that finds nothing or fails leaves the plain
// pattern as it was.
void PcreStudy(PcrePattern* pattern);
void PcreRelease(PcrePattern* pattern);

// 0 with the number of capturing groups, else the engine's code.
int PcreCaptureCount(const PcrePattern* pattern, int& count);

// Searches `subject` from `start`. The highest group that took part plus one,
// or a negative code; `offsets` takes a start/end pair per group in its first
// two thirds. No pattern answers kPcreNullArgument. One thread at a time.
int PcreExec(PcrePattern* pattern, std::string_view subject, int start, TzimRegExpOptions options,
             int* offsets, int offsetCount);

// The number of a named group, kPcreNoSuchGroup for a name the pattern does
// not define, another negative code on failure.
int PcreNameToNumber(const PcrePattern* pattern, const char* name);

// The allocator the engine is given: its blocks come zero-filled so that
// nothing the engine forgets to set can leak old heap contents into a match.
void* PcreBlockAlloc(std::size_t size);
void PcreBlockFree(void* block);

// Which engine this build uses, e.g. "PCRE 8.39 2016-06-14" or "PCRE2 10.42 2022-12-11".
std::string PcreEngineVersion();

// Text of an engine or component result code; empty for 0 and positive codes.
std::string RegExpErrorText(std::int32_t code);
