// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Compile errors carry the engine's own words, and the two engines word the
// same fault differently.
#pragma once

#if QUILL_PCRE_ENGINE == 2
inline constexpr const char* kMissingParenthesis = "missing closing parenthesis";
#else
inline constexpr const char* kMissingParenthesis = "missing )";
#endif
