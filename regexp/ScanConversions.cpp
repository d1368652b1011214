// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "regexp/ScanConversions.h"

#include <locale.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "net/IntegerText.h"
#include "regexp/zimRegExp.h"

// EXTENDED targets receive the 80-bit x87 layout, which is long double here.
static_assert(std::numeric_limits<long double>::digits == 64, "long double must be the x87 extended type");

namespace {

constexpr std::array<std::string_view, 14> kTypeNames = {
    "INTEGER", "INT64", "LONGWORD", "CARDINAL", "SHORTINT", "STRING",   "BOOLEAN",
    "PCHAR",   "WORD",  "BYTE",     "DOUBLE",   "SINGLE",   "EXTENDED", "CHAR",
};

constexpr std::size_t kExtendedBytes = 10;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// The separator must not follow whatever locale a library in the process may
// have set, so the number is read under a private "C" locale.
locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

// The target's memory for `bytes` bytes. A buffer that knows its size and is
// too small for the type is the caller's fault, told as such rather than
// written past.
void* TargetFor(const TScanArg& target, std::size_t bytes) {
  if (target.kind() == TScanArg::Kind::Buffer && target.capacity() < bytes) RaiseAssertionFailed();
  return target.target();
}

template <typename T>
void StoreValue(const TScanArg& target, T value) {
  std::memcpy(TargetFor(target, sizeof value), &value, sizeof value);
}

void StoreExtended(const TScanArg& target, long double value) {
  std::memcpy(TargetFor(target, kExtendedBytes), &value, kExtendedBytes);
}

// Only a plain address can be a string variable; a character buffer never is.
std::string& StringTarget(const TScanArg& target) {
  if (target.kind() != TScanArg::Kind::Address) RaiseAssertionFailed();
  return *static_cast<std::string*>(target.target());
}

// A bare address says nothing of the buffer's size; only a PCharBuffer may
// receive characters.
void StorePChar(const TScanArg& target, std::string_view text, std::int32_t length) {
  if (target.kind() != TScanArg::Kind::Buffer) RaiseAssertionFailed();
  if (target.capacity() == 0) return;
  std::size_t count = text.size();
  if (length > 0 && static_cast<std::size_t>(length) < count) count = static_cast<std::size_t>(length);
  if (count > target.capacity() - 1) count = target.capacity() - 1;
  char* buffer = static_cast<char*>(target.target());
  if (count > 0) std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
}

}  // namespace

std::optional<ScanType> ScanTypeFromName(std::string_view upperName) {
  for (std::size_t i = 0; i < kTypeNames.size(); ++i)
    if (kTypeNames[i] == upperName) return static_cast<ScanType>(i);
  return std::nullopt;
}

std::optional<std::int32_t> ScanIntFromText(std::string_view text) {
  // The port field's reading (IntFromText), held strictly: every character
  // after the prefix a digit, at least one, and the value in range (a
  // hexadecimal number in 8 digits, its bits taken as they are).
  const IntegerText read = ReadIntegerText(text);
  if (!read.whole || read.digits == 0) return std::nullopt;
  if (read.hex) {
    if (read.digits > 8) return std::nullopt;
    return static_cast<std::int32_t>(read.negative ? 0u - read.low32 : read.low32);
  }
  const std::uint64_t limit = read.negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  if (read.capped > limit) return std::nullopt;
  return static_cast<std::int32_t>(read.negative ? 0u - read.low32 : read.low32);
}

std::optional<long double> ScanFloatFromText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const std::size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return std::nullopt;
  }
  const std::size_t end = i;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i != text.size()) return std::nullopt;

  const std::string number(text.substr(start, end - start));
  char* stop = nullptr;
  const long double value = strtold_l(number.c_str(), &stop, CLocale());
  if (stop != number.c_str() + number.size() || std::isinf(value)) return std::nullopt;
  return value;
}

std::int32_t IntFromGroupText(std::string_view text) {
  if (const auto value = ScanIntFromText(text)) return *value;
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

long double FloatFromGroupText(std::string_view text) {
  if (const auto value = ScanFloatFromText(text)) return *value;
  throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

bool BooleanFromGroupText(std::string_view text) {
  for (std::string_view word : {"TRUE", "ON", "1", "YES"})
    if (EqualsIgnoringCase(text, word)) return true;
  for (std::string_view word : {"FALSE", "OFF", "0", "NO"})
    if (EqualsIgnoringCase(text, word)) return false;
  throw Exception("Unable to determine if BOOL value is True or False: " + std::string(text));
}

void StoreGroupText(ScanType type, std::string_view text, std::int32_t length, const TScanArg& target) {
  switch (type) {
    case ScanType::Integer:
      return StoreValue(target, IntFromGroupText(text));
    case ScanType::Int64:
      return StoreValue(target, static_cast<std::int64_t>(IntFromGroupText(text)));
    case ScanType::LongWord:
    case ScanType::Cardinal:
      return StoreValue(target, static_cast<std::uint32_t>(IntFromGroupText(text)));
    case ScanType::ShortInt:
      return StoreValue(target, static_cast<std::int8_t>(IntFromGroupText(text)));
    case ScanType::String: {
      std::string& string = StringTarget(target);
      if (length > 0 && static_cast<std::size_t>(length) < text.size()) text = text.substr(0, length);
      string.assign(text);
      return;
    }
    case ScanType::Boolean:
      return StoreValue(target, static_cast<std::uint8_t>(BooleanFromGroupText(text) ? 1 : 0));
    case ScanType::PChar:
      return StorePChar(target, text, length);
    case ScanType::Word:
      return StoreValue(target, static_cast<std::uint16_t>(IntFromGroupText(text)));
    case ScanType::Byte:
      return StoreValue(target, static_cast<std::uint8_t>(IntFromGroupText(text)));
    case ScanType::Double: {
      const double value = static_cast<double>(FloatFromGroupText(text));
      if (std::isinf(value))
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
      return StoreValue(target, value);
    }
    case ScanType::Single: {
      const float value = static_cast<float>(FloatFromGroupText(text));
      if (std::isinf(value))
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
      return StoreValue(target, value);
    }
    case ScanType::Extended:
      return StoreExtended(target, FloatFromGroupText(text));
    case ScanType::Char:
      // An empty group has no first character; it stores what a missing one does.
      return StoreValue(target, text.empty() ? '\0' : text[0]);
  }
}

void StoreMissingGroup(ScanType type, const TScanArg& target) {
  switch (type) {
    case ScanType::Integer:
    case ScanType::LongWord:
    case ScanType::Cardinal:
      return StoreValue(target, std::int32_t{0});
    case ScanType::Int64:
      return StoreValue(target, std::int64_t{0});
    case ScanType::ShortInt:
    case ScanType::Boolean:
    case ScanType::Byte:
    case ScanType::Char:
      return StoreValue(target, std::uint8_t{0});
    case ScanType::Word:
      return StoreValue(target, std::uint16_t{0});
    case ScanType::String:
      StringTarget(target).clear();
      return;
    case ScanType::PChar:
      return StorePChar(target, {}, 0);
    case ScanType::Double:
      return StoreValue(target, 0.0);
    case ScanType::Single:
      return StoreValue(target, 0.0f);
    case ScanType::Extended: {
      const std::array<unsigned char, kExtendedBytes> zero{};
      std::memcpy(TargetFor(target, zero.size()), zero.data(), zero.size());
      return;
    }
  }
}
