// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/ProxyImport.h"

#include <malloc.h>

#include <string>
#include <string_view>

#include "pool/EntryBatch.h"
#include "pool/ProxyLineReader.h"
#include "pool/ProxyPattern.h"
#include "pool/ProxyPool.h"
#include "regexp/zimRegExp.h"

namespace {

bool HasLongDigitRun(std::string_view line) {
  std::size_t run = 0;
  for (const char c : line) {
    run = c >= '0' && c <= '9' ? run + 1 : 0;
    if (run > kLongestEngineDigitRun) return true;
  }
  return false;
}

}  // namespace

std::string ScanProxyLine(const std::string& line) {
  if (HasLongDigitRun(line)) return std::string(FindProxyEntry(line));
  std::string candidate;
  RegExpScanf(kProxyPattern, line, {"1:STRING", &candidate}, DefaultRegExpOptions, false);
  return candidate;
}

namespace {

// Every line's address into `batch`, then Close() (whose failure is an error too).
void GatherAddresses(ProxyListFile& file, EntryBatch& batch) {
  ProxyLineReader reader(file, ProxyLineReader::kDefaultBlockSize, ProxyLineReader::Lines::ForAddresses);
  // Live across lines so that their buffers are reused.
  std::string line;
  std::string candidate;
  while (reader.NextLine(line)) {
    candidate = ScanProxyLine(line);
    if (!candidate.empty()) InsertingLine([&] { batch.Add(candidate); });
  }
  file.Close();
}

}  // namespace

void ImportProxyList(ProxyPool& pool, ProxyListFile& file) {
  {
    // The file's addresses join the pool together once it is read: one step
    // for the pool and one change for the views, and the list is built in
    // order instead of searched through once for every line.
    EntryBatch batch;
    try {
      GatherAddresses(file, batch);
    } catch (...) {
      // The addresses read before the error stay, as they would have one by one.
      pool.AddNewProxyEntries(lstAll, batch);
      throw;
    }
    pool.AddNewProxyEntries(lstAll, batch);
  }
  // The batch went back to the allocator piece by piece, between the list's
  // blocks: handing its free pages back to the system keeps an import from
  // holding its gathering's memory for the rest of the run.
  ::malloc_trim(0);
  pool.SelectRandomProxy();
}

void ImportProxyList(ProxyPool& pool, const std::optional<std::string>& path) {
  if (!path) return;
  ProxyListFile file(*path);
  ImportProxyList(pool, file);
}
