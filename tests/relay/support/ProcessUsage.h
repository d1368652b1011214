// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// What this process holds that a relayed connection takes and must give back.
#pragma once

#include <ostream>

struct Usage {
  int descriptors = 0;
  int threads = 0;
  friend bool operator==(const Usage&, const Usage&) = default;
};

// Open descriptors and live threads of this process, from /proc.
Usage CurrentUsage();

std::ostream& operator<<(std::ostream& out, const Usage& usage);
