// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/zimRegExpErrors.h"

#include <cstdarg>
#include <cstdio>

namespace {

std::string FormatArgs(const char* format, std::va_list args) {
  std::va_list count;
  va_copy(count, args);
  const int length = std::vsnprintf(nullptr, 0, format, count);
  va_end(count);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

std::string_view BaseName(std::string_view path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string FormatText(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatArgs(format, args);
  va_end(args);
  return text;
}

void RaiseAssertionFailed(const char* file, unsigned line) {
  const std::string_view name = BaseName(file);
  throw EAssertionFailed(
      FormatText("Assertion failure (%.*s, line %u)", static_cast<int>(name.size()), name.data(), line));
}

EzimRegExp EzimRegExp::CreateFmt(std::int32_t code, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string message = FormatArgs(format, args);
  va_end(args);
  return EzimRegExp(code, message);
}
