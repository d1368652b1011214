// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The pool at a million entries: ns per add, contains, remove and random
// pick, the import's per-line pattern, the cost of a listener, and the
// resident memory the entries take.
//
//   pool_bench [entries]      (default 1000000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "pool/SortedEntryList.h"

namespace {

using Clock = std::chrono::steady_clock;

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

std::vector<std::string> RandomEntries(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> octet(0, 255);
  std::uniform_int_distribution<int> port(1, 65535);
  std::vector<std::string> out;
  out.reserve(count);
  char text[32];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(text, sizeof text, "%d.%d.%d.%d:%d", octet(rng), octet(rng), octet(rng), octet(rng),
                  port(rng));
    out.emplace_back(text);
  }
  return out;
}

template <typename F>
double NanosecondsPerOp(std::size_t ops, F&& body) {
  const auto start = Clock::now();
  body();
  const auto elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  return elapsed / static_cast<double>(ops);
}

void Report(const char* what, double ns) {
  std::printf("%-44s %9.1f ns/op\n", what, ns);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1'000'000;
  const std::vector<std::string> entries = RandomEntries(count, 1);
  const std::vector<std::string> strangers = RandomEntries(count, 2);
  std::printf("pool of %zu random \"a.b.c.d:port\" entries\n", count);
  volatile std::size_t sink = 0;

  {
    const long before = ResidentKilobytes();
    SortedEntryList list;
    Report("SortedEntryList insert (random order)", NanosecondsPerOp(count, [&] {
             for (const std::string& e : entries) list.Insert(e);
           }));
    const long after = ResidentKilobytes();
    std::printf("%-44s %9.1f MB (resident %+.1f MB)\n", "SortedEntryList memory", list.MemoryUsage() / 1e6,
                (after - before) / 1e3);
    Report("SortedEntryList find (present)", NanosecondsPerOp(count, [&] {
             for (const std::string& e : entries) sink = sink + list.Find(e).value_or(0);
           }));
    Report("SortedEntryList at (random position)", NanosecondsPerOp(count, [&] {
             std::mt19937 rng(3);
             for (std::size_t i = 0; i < count; ++i) sink = sink + list.At(rng() % count).size();
           }));
    Report("SortedEntryList remove first (random order)", NanosecondsPerOp(count, [&] {
                                                            for (const std::string& e : strangers)
                                                              sink = sink + list.RemoveFirst(e).has_value();
                                                            for (const std::string& e : entries)
                                                              list.RemoveFirst(e);
                                                          }) / 2);
  }

  ProxyPool pool;
  const long before = ResidentKilobytes();
  Report("AddProxyEntry(lstAll)", NanosecondsPerOp(count, [&] {
           for (const std::string& e : entries) pool.AddProxyEntry(lstAll, e);
         }));
  const long after = ResidentKilobytes();
  std::printf("%-44s %9.1f MB for %zu entries (target: 200 MB)\n", "pool resident memory",
              (after - before) / 1e3, pool.Count(lstAll));
  Report("ContainsProxyEntry(lstAll) present", NanosecondsPerOp(count, [&] {
           for (const std::string& e : entries) sink = sink + pool.ContainsProxyEntry(lstAll, e);
         }));
  Report("ContainsProxyEntry(lstAll) absent", NanosecondsPerOp(count, [&] {
           for (const std::string& e : strangers) sink = sink + pool.ContainsProxyEntry(lstAll, e);
         }));
  pool.Randomize(StartupSeed());
  Report("SelectRandomProxy (draw, fill, apply)", NanosecondsPerOp(count, [&] {
           for (std::size_t i = 0; i < count; ++i) pool.SelectRandomProxy();
         }));
  Report("EntryAt(lstAll, random)", NanosecondsPerOp(count, [&] {
           std::mt19937 rng(4);
           for (std::size_t i = 0; i < count; ++i) sink = sink + pool.EntryAt(lstAll, rng() % count).size();
         }));
  Report("RemoveProxyEntry(lstAll)", NanosecondsPerOp(count, [&] {
           for (const std::string& e : entries) pool.RemoveProxyEntry(lstAll, e);
         }));

  // The import's work per line: three look-ups, then the addition.
  Report("import step (3 x Contains + Add), per line", NanosecondsPerOp(count, [&] {
           for (const std::string& e : entries) {
             if (!pool.ContainsProxyEntry(lstAll, e) && !pool.ContainsProxyEntry(lstWorking, e) &&
                 !pool.ContainsProxyEntry(lstFailed, e)) {
               pool.AddProxyEntry(lstAll, e);
             }
           }
         }));
  for (const std::string& e : entries) pool.RemoveProxyEntry(lstAll, e);

  // What a listener costs, against the additions above made with none.
  std::size_t heard = 0;
  const int id = pool.AddListener([&heard](const PoolChange&) { ++heard; });
  Report("AddProxyEntry with one listener", NanosecondsPerOp(count, [&] {
           for (const std::string& e : entries) pool.AddProxyEntry(lstAll, e);
         }));
  pool.RemoveListener(id);
  std::printf("%-44s %9zu\n", "changes heard", heard);
  return sink == 42 ? 1 : 0;
}
