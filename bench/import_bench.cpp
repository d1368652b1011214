// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Import speed and memory: makes proxy list files of 100,000 and 1,000,000
// lines in mixed formats (a tenth of the lines repeat an earlier address),
// imports each into an empty pool through ImportProxyList, the window's own
// call, and sets the time beside `grep -oE` extracting the same addresses from
// the same file in the same run. Then the resident memory with a million
// entries in the pool.
//
//   import_bench [WORK_DIR] [LINES...]     (defaults: /tmp, 100000 1000000)
//
// Also times the stages alone (reading lines; reading and scanning), so that a
// slow import shows which component is the cost.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pool/ProxyImport.h"
#include "pool/ProxyLineReader.h"
#include "pool/ProxyPattern.h"
#include "pool/ProxyPool.h"
#include "regexp/zimRegExp.h"
#include "list_file.h"

namespace {

namespace fs = std::filesystem;
using bench::Random;
using bench::Address;
using bench::WriteListFile;
using Clock = std::chrono::steady_clock;

constexpr const char* kPattern = "((([0-9]+).([0-9]+).([0-9]+).([0-9]+)):([0-9]+))";

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = -1;
  while (status >> key) {
    if (key == field) {
      status >> value;
      return value;
    }
    status.ignore(1 << 10, '\n');
  }
  return value;
}

// Runs `grep -oE` over the file, its output to a file (GNU grep stops at the
// first match when it writes to /dev/null); returns seconds and match count.
std::pair<double, long> TimeGrep(const fs::path& file, const fs::path& out) {
  const std::string command = "LC_ALL=C grep -oE '(([0-9]+).([0-9]+).([0-9]+).([0-9]+)):([0-9]+)' '" +
                              file.string() + "' > '" + out.string() + "'";
  const auto start = Clock::now();
  const int status = std::system(command.c_str());
  const double seconds = SecondsSince(start);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) return {-1.0, -1};
  std::ifstream in(out, std::ios::binary);
  long matches = 0;
  std::string line;
  while (std::getline(in, line)) ++matches;
  return {seconds, matches};
}

double TimeReadOnly(const fs::path& file, bool scan) {
  const auto start = Clock::now();
  ProxyListFile list(file.string());
  ProxyLineReader reader(list);
  std::string line;
  std::string candidate;
  std::size_t found = 0;
  while (reader.NextLine(line)) {
    if (scan) {
      candidate.clear();
      RegExpScanf(kPattern, line, {"1:STRING", &candidate}, DefaultRegExpOptions, false);
      found += candidate.empty() ? 0 : 1;
    }
  }
  list.Close();
  const double seconds = SecondsSince(start);
  if (scan && found == 0) throw std::runtime_error("the scan found nothing");
  return seconds;
}

// The import as it was before the pattern had a matcher of its own: the
// general scan on every line. Beside the real import in one run, it shows what
// the matcher changed on plain files.
double TimeEngineImport(const fs::path& file) {
  ProxyPool pool;
  pool.Randomize(1);
  const auto start = Clock::now();
  ProxyListFile list(file.string());
  ProxyLineReader reader(list);
  std::string line;
  std::string candidate;
  while (reader.NextLine(line)) {
    candidate.clear();
    RegExpScanf(kPattern, line, {"1:STRING", &candidate}, DefaultRegExpOptions, false);
    if (candidate.empty() || pool.ContainsProxyEntry(lstAll, candidate) ||
        pool.ContainsProxyEntry(lstFailed, candidate) || pool.ContainsProxyEntry(lstWorking, candidate)) {
      continue;
    }
    pool.AddProxyEntry(lstAll, candidate);
  }
  list.Close();
  pool.SelectRandomProxy();
  return SecondsSince(start);
}

struct Imported {
  double seconds = 0;
  std::size_t entries = 0;
  bool found = false;
};

// Imports `file` into an empty pool; whether `entry` arrived.
Imported TimeImport(const fs::path& file, const std::string& entry) {
  ProxyPool pool;
  pool.Randomize(1);
  const auto start = Clock::now();
  ImportProxyList(pool, std::optional<std::string>(file.string()));
  Imported result;
  result.seconds = SecondsSince(start);
  result.entries = pool.Count(lstAll);
  result.found = pool.ContainsProxyEntry(lstAll, entry);
  return result;
}

// Lines that make the engine backtrack: long runs of digits that no address
// completes, each followed by an address that must not be lost.
int DigitRunFigures(const fs::path& dir, double plainBytesPerSecond) {
  int status = 0;
  const fs::path runs = dir / "digit-runs.txt";
  {
    std::ofstream out(runs, std::ios::binary);
    Random random;
    const std::string digits(300, '7');
    for (std::uint32_t i = 0; i < 10000; ++i) out << digits << ' ' << Address(i, random) << '\n';
  }
  const double runBytes = static_cast<double>(fs::file_size(runs));
  const Imported lines = TimeImport(runs, "1.0.0.1:1");
  const double runRate = runBytes / lines.seconds;
  const bool allThere = lines.entries == 10000;
  const bool fastEnough = plainBytesPerSecond <= 0 || runRate >= plainBytesPerSecond / 3;
  std::printf("\n10,000 lines of 300 digits, a space and an address: %.3f s, %zu of 10000 imported (%s), "
              "%.1f MB/s",
              lines.seconds, lines.entries, allThere ? "met" : "MISSED", runRate / 1e6);
  if (plainBytesPerSecond > 0) {
    std::printf(", %.2f of the plain file's %.1f MB/s (target >= 0.33: %s)", runRate / plainBytesPerSecond,
                plainBytesPerSecond / 1e6, fastEnough ? "met" : "MISSED");
  }
  std::printf("\n");
  if (!allThere || !fastEnough) status = 1;
  fs::remove(runs);

  const fs::path huge = dir / "one-long-line.txt";
  {
    std::ofstream out(huge, std::ios::binary);
    out << std::string(1 << 20, '7') << " 1.2.3.4:80\n";
  }
  const Imported one = TimeImport(huge, "1.2.3.4:80");
  const bool met = one.found && one.seconds < 0.1;
  std::printf("one line of 1 MiB of digits, then \" 1.2.3.4:80\": %.4f s, address %s (target < 0.1 s: %s)\n",
              one.seconds, one.found ? "imported" : "LOST", met ? "met" : "MISSED");
  if (!met) status = 1;
  fs::remove(huge);
  return status;
}

double TimeMatchOnly(const fs::path& file) {
  const auto start = Clock::now();
  ProxyListFile list(file.string());
  ProxyLineReader reader(list);
  std::string line;
  std::size_t found = 0;
  while (reader.NextLine(line)) found += FindProxyEntry(line).empty() ? 0 : 1;
  list.Close();
  if (found == 0) throw std::runtime_error("the matcher found nothing");
  return SecondsSince(start);
}

}  // namespace

// A 2 GiB file without a single line end (sparse: nothing but NUL bytes), as
// a disk image or a core dump chosen by mistake would be: imported in a child
// process of its own, so that its peak resident memory is its alone.
int NewlineFreeFigures(const fs::path& dir) {
  const fs::path file = dir / "no-line-ends.bin";
  constexpr long long kSize = 2LL << 30;
  std::ofstream(file).close();
  fs::resize_file(file, kSize);
  const auto start = Clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ProxyPool pool;
    ImportProxyList(pool, std::optional<std::string>(file.string()));
    ::_exit(pool.Count(lstAll) == 0 ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  const double seconds = SecondsSince(start);
  const double peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  std::printf("  a 2 GiB file without line ends: %.1f s, peak resident %.1f MiB%s\n", seconds, peakMiB,
              peakMiB <= 64.0 ? " (target: a few MiB beyond the program: met)" : " (MISSED)");
  fs::remove(file);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  std::vector<std::size_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::stoul(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};

  std::string dirPattern = (base / "quill-import-bench-XXXXXX").string();
  if (::mkdtemp(dirPattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path dir = dirPattern;
  int status = 0;
  try {
    // First, while this process is small: a child forked later would start
    // with the resident pages the larger files left behind.
    status |= NewlineFreeFigures(dir);
    double plainBytesPerSecond = 0;
    std::printf("%-9s %9s %10s %12s %9s %10s %9s %9s %9s %s\n", "lines", "import s", "lines/s", "entries",
                "grep s", "grep/imp", "engine s", "eng/imp", "read s", "target");
    for (const std::size_t lines : sizes) {
      const fs::path file = dir / ("list-" + std::to_string(lines) + ".txt");
      const std::size_t distinct = WriteListFile(file, lines);
      // Warm the page cache, so that both sides read from memory.
      TimeReadOnly(file, false);

      ProxyPool pool;
      pool.Randomize(1);
      // Hand back what making the file freed, so the figures below are the pool's.
      ::malloc_trim(0);
      const long rssBefore = StatusKiB("VmRSS:");
      const auto start = Clock::now();
      ImportProxyList(pool, std::optional<std::string>(file.string()));
      const double importSeconds = SecondsSince(start);
      const long rssAfter = StatusKiB("VmRSS:");

      const auto [grepSeconds, grepMatches] = TimeGrep(file, dir / "grep.out");
      const double engineSeconds = TimeEngineImport(file);
      const double readSeconds = TimeReadOnly(file, false);
      const double scanSeconds = TimeReadOnly(file, true);
      const double matchSeconds = TimeMatchOnly(file);

      const std::size_t entries = pool.Count(lstAll);
      // 3 s for a million lines and 0.3 s for 100,000: 3 microseconds a line.
      const double limit = 3e-6 * static_cast<double>(lines);
      char verdict[64];
      std::snprintf(verdict, sizeof verdict, "%s (<= %.2f s)", importSeconds <= limit ? "met" : "MISSED",
                    limit);
      std::printf("%-9zu %9.3f %10.0f %12zu %9.3f %10.2f %9.3f %9.2f %9.3f %s\n", lines, importSeconds,
                  static_cast<double>(lines) / importSeconds, entries, grepSeconds, grepSeconds / importSeconds,
                  engineSeconds, engineSeconds / importSeconds, readSeconds, verdict);
      plainBytesPerSecond = static_cast<double>(fs::file_size(file)) / importSeconds;
      if (entries != distinct) {
        std::printf("  WRONG: %zu entries in lstAll, %zu distinct addresses in the file\n", entries,
                    distinct);
        status = 1;
      }
      std::printf("  stages: reading %.3f s, the engine's scan %.3f s, the pattern's matcher %.3f s\n",
                  readSeconds, scanSeconds - readSeconds, matchSeconds - readSeconds);
      std::printf("  the import beside the one through the engine's scan (eng/imp): %.2f\n",
                  engineSeconds / importSeconds);
      if (grepMatches >= 0)
        std::printf("  grep -oE printed %ld matches (every match of a line)\n", grepMatches);
      std::printf("  upstream %s:%d\n", pool.CurrentUpstream().host.c_str(), pool.CurrentUpstream().port);
      const double rssMiB = static_cast<double>(rssAfter) / 1024.0;
      std::printf("  resident memory after the import: %.1f MiB (%.1f MiB before it)%s\n", rssMiB,
                  static_cast<double>(rssBefore) / 1024.0,
                  lines >= 1000000
                      ? (rssMiB <= 200.0 ? "  target <= 200 MB: met" : "  target <= 200 MB: MISSED")
                      : "");
      fs::remove(file);
    }
    status |= DigitRunFigures(dir, plainBytesPerSecond);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "import_bench: %s\n", e.what());
    status = 1;
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}
