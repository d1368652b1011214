// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The exceptions of the pattern scanner. Every one is a std::runtime_error
// whose what() is the message the user gets to see.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// printf-style formatting into a std::string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Base of every failure the scanner raises.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that is not a number of the wanted kind.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A caller broke a precondition; the message names the source position.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

// "Assertion failure (file, line N)" for the place that calls it.
// (std::source_location is not usable with the clang of the fuzz build.)
[[noreturn]] void RaiseAssertionFailed(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE());

class EzimRegExp : public Exception {
 public:
  EzimRegExp(std::int32_t code, const std::string& message) : Exception(message), ErrorCode(code) {}
  // Formats the message first, printf-style.
  static EzimRegExp CreateFmt(std::int32_t code, const char* format, ...)
      __attribute__((format(printf, 2, 3)));

  std::int32_t ErrorCode;
};

// A group name the pattern does not define (code -7).
class EzimRegExpNamedGroup : public EzimRegExp {
 public:
  using EzimRegExp::EzimRegExp;
};

// A selector or group that RegExpScanf cannot serve.
class ERegExpScanf : public Exception {
 public:
  using Exception::Exception;
};
