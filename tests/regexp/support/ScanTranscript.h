// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Runs one scan into fresh targets and writes down everything it did, so the
// cached and the fresh scan can be compared byte for byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "regexp/zimRegExpOptions.h"

struct ScanCase {
  std::string pattern;
  std::string text;
  std::vector<std::string> selectors;  // each gets a target that suits its type
  TzimRegExpOptions options = DefaultRegExpOptions;
  bool zeroMissing = false;
  bool oddArgs = false;  // leave the last selector without its target
};

// "true|<targets>", "false|<targets>" or "<exception class> <code>: <message>|<targets>".
std::string ScanTranscript(const ScanCase& scanCase, bool cached);
