#include "support/ScanTranscript.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "regexp/zimRegExp.h"

namespace {

struct Target {
  std::string text = "?";
  char buffer[12];
  unsigned char raw[16];
  Target() {
    std::memset(buffer, '?', sizeof buffer);
    std::memset(raw, 0xEE, sizeof raw);
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
    out += "[" + t->text + "|" + std::string(t->buffer, sizeof t->buffer) + "|";
    for (unsigned char b : t->raw) {
      std::snprintf(hex, sizeof hex, "%02x", b);
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
      args.emplace_back(PCharOf(t.buffer));
    } else if (Mentions(selector, "STRING")) {
      args.emplace_back(&t.text);
    } else {
      args.emplace_back(t.raw);
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
