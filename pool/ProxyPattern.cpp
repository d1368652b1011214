// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The pattern is D1 . D2 . D3 . D4 : P, each D and P a greedy [0-9]+ and each
// "." any byte but a line feed. The engine tries start offsets from the left
// and, at each, the longest D1 first, then the longest D2 that still allows a
// match, and so on: its match is the leftmost start, then the lexicographically
// largest (|D1|, |D2|, |D3|, |D4|) that completes.
//
// Call "Fk(q)" the claim that Dk . ... : P can match with Dk starting at q.
// Within one run of digits [s, e) the candidates for the end j of Dk starting
// at q are q+1 .. e, so Fk holds for q exactly when q < Jk, where Jk is the
// largest j in s+1 .. e that works; a later start in the run only loses
// candidates. Jk of a run needs only the run itself and the next one:
//   J4 = e when ":" and a digit follow the run (D4 cannot stop inside the run,
//        since ":" is no digit);
//   Jk = e when the byte at e may separate and the next run starts right after
//        it with Jk+1 defined (D(k+1) then starts there);
//   else Jk = Jk+1 - 2 when that is still past s (the separator is the digit
//        before Jk+1 - 1, and D(k+1) starts at Jk+1 - 1, inside this run).
// So the match starts at the first run whose J1 is defined, and a window of
// four consecutive runs holds all that J1 needs.
#include "pool/ProxyPattern.h"

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

struct Run {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// The next run of digits at or after `from`, or no value.
std::optional<Run> NextRun(std::string_view line, std::size_t from) {
  std::size_t at = from;
  while (at < line.size() && !IsDigit(line[at])) ++at;
  if (at >= line.size()) return std::nullopt;
  Run run{at, at};
  while (run.end < line.size() && IsDigit(line[run.end])) ++run.end;
  return run;
}

class RunWindow {
 public:
  static constexpr int kSize = 4;

  explicit RunWindow(std::string_view line) : line_(line) {
    while (count_ < kSize && Append()) {
    }
  }

  bool Empty() const { return count_ == 0; }

  void Advance() {
    for (int i = 1; i < count_; ++i) runs_[i - 1] = runs_[i];
    --count_;
    Append();
  }

  // J[k][i] for k = 1..4 over the runs in the window (kNone: undefined).
  void Judge() {
    for (int i = 0; i < kSize; ++i) {
      for (int k = 1; k <= 4; ++k) j_[k][i] = kNone;
    }
    for (int i = count_ - 1; i >= 0; --i) {
      const Run& run = runs_[i];
      if (run.end + 1 < line_.size() && line_[run.end] == ':' && IsDigit(line_[run.end + 1])) {
        j_[4][i] = run.end;
      }
    }
    for (int k = 3; k >= 1; --k) {
      for (int i = count_ - 1; i >= 0; --i) {
        const Run& run = runs_[i];
        const bool nextStartsAfterOneByte =
            i + 1 < count_ && runs_[i + 1].begin == run.end + 1 && line_[run.end] != '\n';
        if (nextStartsAfterOneByte && j_[k + 1][i + 1] != kNone) {
          j_[k][i] = run.end;
        } else if (j_[k + 1][i] != kNone && j_[k + 1][i] >= run.begin + 3) {
          j_[k][i] = j_[k + 1][i] - 2;
        }
      }
    }
  }

  bool MatchesAtFirstRun() const { return count_ > 0 && j_[1][0] != kNone; }

  // Follows the choices from the first run on: each D ends at its J, and the
  // next D starts one byte later, in the same run or at the next.
  ProxyPatternMatch Match() const {
    ProxyPatternMatch match;
    int run = 0;
    std::size_t begin = runs_[0].begin;
    for (int k = 1; k <= 4; ++k) {
      const std::size_t end = j_[k][run];
      match.groups[static_cast<std::size_t>(k) + 2] = {begin, end};
      if (end == runs_[run].end) ++run;
      begin = end + 1;
    }
    std::size_t portEnd = begin;
    while (portEnd < line_.size() && IsDigit(line_[portEnd])) ++portEnd;
    const std::size_t start = match.groups[3].begin;
    match.groups[7] = {begin, portEnd};
    match.groups[2] = {start, match.groups[6].end};
    match.groups[1] = {start, portEnd};
    match.groups[0] = match.groups[1];
    return match;
  }

 private:
  bool Append() {
    const std::size_t from = count_ > 0 ? runs_[count_ - 1].end : next_;
    const std::optional<Run> run = NextRun(line_, from);
    if (!run) return false;
    runs_[count_++] = *run;
    next_ = run->end;
    return true;
  }

  std::string_view line_;
  Run runs_[kSize];
  int count_ = 0;
  std::size_t next_ = 0;
  std::size_t j_[5][kSize] = {};
};

}  // namespace

std::optional<ProxyPatternMatch> MatchProxyPattern(std::string_view line) {
  // Without a ":" there is no match at all; most lines of a list have one.
  if (line.find(':') == std::string_view::npos) return std::nullopt;
  RunWindow window(line);
  while (!window.Empty()) {
    window.Judge();
    if (window.MatchesAtFirstRun()) return window.Match();
    window.Advance();
  }
  return std::nullopt;
}

std::string_view FindProxyEntry(std::string_view line) {
  const std::optional<ProxyPatternMatch> match = MatchProxyPattern(line);
  if (!match) return {};
  return line.substr(match->groups[1].begin, match->groups[1].end - match->groups[1].begin);
}

bool TrimToMatchable(std::string& line, std::size_t fresh) {
  // A match is digits with single bytes between them: none spans a place
  // where two non-digits meet. Only the fresh bytes (and the one before them)
  // can hold a new such place; earlier ones went at earlier calls.
  const std::size_t lowest = line.size() > fresh + 1 ? line.size() - fresh - 1 : 0;
  std::size_t cut = 0;
  for (std::size_t i = line.size(); i >= 2 && i > lowest + 1; --i) {
    if (!IsDigit(line[i - 1]) && !IsDigit(line[i - 2])) {
      cut = i;
      break;
    }
  }
  if (cut == 0) return false;
  // Every match before the cut is one of the whole line's, and the leftmost.
  if (const std::optional<ProxyPatternMatch> match = MatchProxyPattern(std::string_view(line).substr(0, cut))) {
    const ProxyPatternMatch::Span entry = match->groups[1];
    line.erase(entry.end);
    line.erase(0, entry.begin);
    return true;
  }
  line.erase(0, cut);
  return false;
}
