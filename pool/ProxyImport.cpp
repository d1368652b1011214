// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/ProxyImport.h"

#include <cerrno>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pool/EntryBatch.h"
#include "pool/ProxyLineReader.h"
#include "pool/ProxyPattern.h"
#include "pool/ProxyPool.h"

std::string InOutErrorMessage(int errorNumber) {
  switch (errorNumber) {
    case ENOENT:
      return "File not found";
    case ENOTDIR:
    case ENAMETOOLONG:
      return "Invalid filename";
    case EMFILE:
      return "Too many open files";
    case EACCES:
    case EPERM:
      return "File access denied";
    default:
      return "I/O error " + std::to_string(errorNumber);
  }
}

EInOutError::EInOutError(int errorNumber)
    : std::runtime_error(InOutErrorMessage(errorNumber)), ErrorCode(errorNumber) {}

EInOutError::EInOutError(int errorNumber, const std::string& message)
    : std::runtime_error(message), ErrorCode(errorNumber) {}

void ImportProxyList(ProxyPool& pool, ProxyListFile& file) {
  ProxyLineReader reader(file, ProxyLineReader::kDefaultBlockSize, ProxyLineReader::Lines::ForAddresses);
  // Lives across lines so that its buffer is reused.
  std::string line;
  // The file's addresses join the pool together once it is read: one step for
  // the pool and one change for the views, and the list is built in order
  // instead of searched through once for every line.
  EntryBatch batch;
  try {
    while (reader.NextLine(line)) {
      // The pattern's own matcher rather than the general scan: the same first
      // match, without the engine's backtracking through long runs of digits.
      const std::string_view candidate = FindProxyEntry(line);
      if (candidate.empty()) continue;
      try {
        batch.Add(candidate);
      } catch (const std::bad_alloc&) {
        throw EListError("Unable to insert a line");
      } catch (const std::length_error&) {
        throw EListError("Unable to insert a line");
      }
    }
    file.Close();
  } catch (...) {
    // The addresses read before the error stay, as they would have one by one.
    pool.AddNewProxyEntries(lstAll, batch);
    throw;
  }
  pool.AddNewProxyEntries(lstAll, batch);
  pool.SelectRandomProxy();
}

void ImportProxyList(ProxyPool& pool, const std::optional<std::string>& path) {
  if (!path) return;
  ProxyListFile file(*path);
  ImportProxyList(pool, file);
}
