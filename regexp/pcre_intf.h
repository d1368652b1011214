// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The seam to the PCRE engine: its allocation hooks, the engine flags an
// option set stands for, and the texts of the result codes.
#pragma once

#include <cstdint>
#include <string>

#include "regexp/zimRegExpOptions.h"

// Points the engine's allocation hooks at a zero-filling allocator. Runs its
// body once per process, whichever thread gets here first.
void EnsurePcreAllocator();

// Engine flags for pcre_compile and for pcre_exec under `options`.
int PcreCompileFlags(TzimRegExpOptions options);
int PcreMatchFlags(TzimRegExpOptions options);

// Text of an engine or component result code; empty for 0 and positive codes.
std::string RegExpErrorText(std::int32_t code);
