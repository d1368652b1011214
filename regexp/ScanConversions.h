// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// What RegExpScanf does with one group's text: the target types, the text to
// number conversions, and the stores into the caller's variables.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

class TScanArg;

// In the order the type names are tried.
enum class ScanType {
  Integer,
  Int64,
  LongWord,
  Cardinal,
  ShortInt,
  String,
  Boolean,
  PChar,
  Word,
  Byte,
  Double,
  Single,
  Extended,
  Char,
};

// The type of an upper-case type name ("INTEGER", "PCHAR", ...).
std::optional<ScanType> ScanTypeFromName(std::string_view upperName);

// Leading spaces, an optional sign, then decimal digits within the signed
// 32-bit range or 1 to 8 hex digits after "$", "x", "X", "0x" or "0X" (taken
// as 32 bits, negated after "-"); nothing may follow.
std::optional<std::int32_t> ScanIntFromText(std::string_view text);

// Leading and trailing spaces, an optional sign, digits with an optional "."
// fraction and an optional exponent; the separator is always ".". A value too
// large for the x87 extended range is refused.
std::optional<long double> ScanFloatFromText(std::string_view text);

// The conversions as the stores use them: EConvertError for text that is no
// number, Exception for text that is no Boolean word.
std::int32_t IntFromGroupText(std::string_view text);
long double FloatFromGroupText(std::string_view text);
bool BooleanFromGroupText(std::string_view text);

// Stores `text` converted to `type` at the target; `length` > 0 cuts STRING
// and PCHAR. Targets of the pairs stored before a failure keep their values.
void StoreGroupText(ScanType type, std::string_view text, std::int32_t length, const TScanArg& target);

// Stores the zero of `type`: 0, an empty string, a NUL or zero bytes.
void StoreMissingGroup(ScanType type, const TScanArg& target);
