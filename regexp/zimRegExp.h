// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The pattern scanner: the regular-expression object, its reference-counted
// face, and RegExpScanf, which stores chosen groups of a match into variables.
#pragma once

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "regexp/zimRegExpErrors.h"
#include "regexp/zimRegExpIntf.h"
#include "regexp/zimRegExpObject.h"
#include "regexp/zimRegExpOptions.h"

// A character buffer target that knows its size: the scan never writes past
// `capacity` bytes, terminating NUL included.
struct PCharBuffer {
  char* data = nullptr;
  std::size_t capacity = 0;
};

template <std::size_t N>
PCharBuffer PCharOf(char (&buffer)[N]) {
  return PCharBuffer{buffer, N};
}

// One element of RegExpScanf's argument list. Elements are read in pairs: a
// selector text (C string or counted string), then the address of the
// variable that receives the group.
class TScanArg {
 public:
  enum class Kind { Text, Address, Buffer, Characters, Other };

  TScanArg(const char* text) : kind_(Kind::Text), text_(text ? text : "") {}
  // A character pointer that is not const (a `char selector[]`) is a selector
  // where a selector stands and an address where a target stands. Its text is
  // read only when it serves as a selector: as a target it may hold anything.
  TScanArg(char* characters) : kind_(Kind::Characters), target_(characters) {}
  TScanArg(const std::string& text) : kind_(Kind::Text), text_(text) {}
  TScanArg(std::string_view text) : kind_(Kind::Text), text_(text) {}
  template <typename T>
  requires(!std::is_const_v<T>) TScanArg(T* target)
      : kind_(Kind::Address), target_(static_cast<void*>(target)) {}
  TScanArg(PCharBuffer buffer) : kind_(Kind::Buffer), target_(buffer.data), capacity_(buffer.capacity) {}
  // Neither text nor address: a list holding one of these is malformed.
  TScanArg(std::nullptr_t) : kind_(Kind::Other) {}
  template <typename T>
  requires(std::is_arithmetic_v<T>) TScanArg(T) : kind_(Kind::Other) {}

  Kind kind() const { return kind_; }
  bool IsSelector() const { return kind_ == Kind::Text || kind_ == Kind::Characters; }
  std::string_view text() const {
    if (kind_ == Kind::Characters) return target_ ? std::string_view(static_cast<const char*>(target_)) : "";
    return text_;
  }
  void* target() const { return target_; }
  std::size_t capacity() const { return capacity_; }

 private:
  Kind kind_;
  std::string_view text_;
  void* target_ = nullptr;
  std::size_t capacity_ = 0;
};

// Matches `Pattern` (compiled under `Options`) against `Text` and, when it
// matches, stores groups of the first match into the targets of `Args` as
// their selectors say ("1:STRING", "INTEGER", "ip:STRING(15)", ...). Returns
// false, touching nothing, when there is no match.
//
// Selector: [prefix ":"] type ["(" length ")"]. The prefix is a group number or
// the name of a group of `Pattern`; without one the group after the previous
// selector's is taken. Types and their targets:
//   INTEGER int32_t   INT64 int64_t   LONGWORD, CARDINAL uint32_t
//   SHORTINT int8_t   WORD uint16_t   BYTE uint8_t   BOOLEAN, CHAR one byte
//   DOUBLE double     SINGLE float    EXTENDED the 10 bytes of an x87 value
//   STRING std::string (first `length` characters when length > 0)
//   PCHAR  PCharBuffer (at most `length` characters, cut to the capacity, NUL)
// A group at or past the match's GroupCount raises ERegExpScanf unless
// `ZeroMissing`, which stores the type's zero instead. Targets stored before a
// failure keep their values.
//
// Compiled patterns are kept per thread between calls, so a caller that scans
// many lines with one pattern pays for compiling it once.
bool RegExpScanf(std::string_view Pattern, std::string_view Text, std::span<const TScanArg> Args,
                 TzimRegExpOptions Options = DefaultRegExpOptions, bool ZeroMissing = false);
bool RegExpScanf(std::string_view Pattern, std::string_view Text, std::initializer_list<TScanArg> Args,
                 TzimRegExpOptions Options = DefaultRegExpOptions, bool ZeroMissing = false);

