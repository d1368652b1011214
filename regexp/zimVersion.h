// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The version the regular-expression component reports; it is fixed at build
// time and never follows what a caller writes into it.
#pragma once

#include <string>
#include <string_view>

using TPackageVersion = std::string;

inline constexpr std::string_view zimPackageVersion = "1.0.10.163";
