// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The typed scan built from fresh NewRegExp matchers on every call, nothing
// kept: RegExpScanf, with its per-thread cache, must always agree with it.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>

#include "regexp/zimRegExp.h"

bool RegExpScanfUncached(std::string_view Pattern, std::string_view Text, std::span<const TScanArg> Args,
                         TzimRegExpOptions Options = DefaultRegExpOptions, bool ZeroMissing = false);
bool RegExpScanfUncached(std::string_view Pattern, std::string_view Text,
                         std::initializer_list<TScanArg> Args,
                         TzimRegExpOptions Options = DefaultRegExpOptions, bool ZeroMissing = false);
