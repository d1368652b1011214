// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "support/ScanTranscript.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "regexp/zimRegExp.h"
#include "support/FreshScan.h"

namespace {

// Separate heap blocks of their exact sizes, so that a store past one of them
// is caught by AddressSanitizer rather than landing in a neighbour.
constexpr std::size_t kBufferSize = 12;
constexpr std::size_t kRawSize = 16;

struct Target {
  std::string text = "?";
  std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kBufferSize);
  std::unique_ptr<unsigned char[]> raw = std::make_unique<unsigned char[]>(kRawSize);
  Target() {
    std::memset(buffer.get(), '?', kBufferSize);
    std::memset(raw.get(), 0xEE, kRawSize);
  }
};

bool Mentions(std::string_view selector, std::string_view word) {
  std::string upper(selector);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper.find(word) != std::string::npos;
}

std::string Describe(const std::vector<std::unique_ptr<Target>>& targets) {
  std::string out;
  char hex[4];
  for (const auto& t : targets) {
    out += "[" + t->text + "|" + std::string(t->buffer.get(), kBufferSize) + "|";
    for (std::size_t i = 0; i < kRawSize; ++i) {
      std::snprintf(hex, sizeof hex, "%02x", t->raw[i]);
      out += hex;
    }
    out += "]";
  }
  return out;
}

}  // namespace

std::string ScanTranscript(const ScanCase& c, bool cached) {
  std::vector<std::unique_ptr<Target>> targets;
  std::vector<TScanArg> args;
  for (std::size_t i = 0; i < c.selectors.size(); ++i) {
    const std::string& selector = c.selectors[i];
    args.emplace_back(selector);
    if (c.oddArgs && i + 1 == c.selectors.size()) break;
    targets.push_back(std::make_unique<Target>());
    Target& t = *targets.back();
    if (Mentions(selector, "PCHAR")) {
      args.emplace_back(PCharBuffer{t.buffer.get(), kBufferSize});
    } else if (Mentions(selector, "STRING")) {
      args.emplace_back(&t.text);
    } else {
      args.emplace_back(t.raw.get());
    }
  }
  std::string outcome;
  try {
    const bool matched = cached ? RegExpScanf(c.pattern, c.text, args, c.options, c.zeroMissing)
                                : RegExpScanfUncached(c.pattern, c.text, args, c.options, c.zeroMissing);
    outcome = matched ? "true" : "false";
  } catch (const EzimRegExpNamedGroup& e) {
    outcome = "EzimRegExpNamedGroup " + std::to_string(e.ErrorCode) + ": " + e.what();
  } catch (const EzimRegExp& e) {
    outcome = "EzimRegExp " + std::to_string(e.ErrorCode) + ": " + e.what();
  } catch (const ERegExpScanf& e) {
    outcome = std::string("ERegExpScanf: ") + e.what();
  } catch (const EConvertError& e) {
    outcome = std::string("EConvertError: ") + e.what();
  } catch (const EAssertionFailed& e) {
    outcome = std::string("EAssertionFailed: ") + e.what();
  } catch (const Exception& e) {
    outcome = std::string("Exception: ") + e.what();
  }
  return outcome + "|" + Describe(targets);
}
