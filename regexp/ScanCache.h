// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// What RegExpScanf keeps between calls on one thread: compiled patterns and
// read selectors. Entries only ever hold what a fresh compile or a fresh
// grammar match would give, and a pattern that fails to compile never enters.
#pragma once

#include <string_view>

#include "regexp/ScanSelector.h"
#include "regexp/zimRegExpObject.h"
#include "regexp/zimRegExpOptions.h"

// A compiled matcher for (pattern, options), owned by this thread's cache and
// valid until the next call. Raises as compiling would.
TzimRegExp& CachedPattern(std::string_view pattern, TzimRegExpOptions options);

// The selector read from `text`, valid until the next call.
const ScanSelector& CachedSelector(std::string_view text);
