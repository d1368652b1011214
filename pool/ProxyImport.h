// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Import of proxy lists from text files: at most one "a.b.c.d:port" per line
// goes into lstAll unless one of the three lists knows it, then a random pick.
#pragma once

#include <optional>
#include <cstddef>
#include <string>

#include "pool/ProxyLineReader.h"

class ProxyPool;

// The longest run of digits a line may hold for the regular-expression engine
// to scan it: the engine tries about n^4 ways to cut a run of n digits into
// four numbers (some 50 us for a hostile line at 16, a second at 100) and
// gives up, losing the address, past a few hundred. Lines with a longer run go
// to the pattern's own matcher, which finds the same match in linear time.
inline constexpr std::size_t kLongestEngineDigitRun = 16;

// Group 1 of the first match of the import pattern in `line` (the engine's
// scan of it, "1:STRING"), or empty text.
std::string ScanProxyLine(const std::string& line);

// The import behind the Open button. `path` is the file the dialog gave, or no
// value when the dialog was cancelled (then nothing changes). Throws EInOutError
// or EListError; entries added before the error stay and no upstream is picked.
void ImportProxyList(ProxyPool& pool, const std::optional<std::string>& path);

// The same import once the file is open: every line, then Close() (whose
// failure is an error too) and the pick. After an error the file is left open
// for its owner to drop.
void ImportProxyList(ProxyPool& pool, ProxyListFile& file);
