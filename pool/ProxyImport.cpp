// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/ProxyImport.h"

#include <cerrno>
#include <string>
#include <string_view>

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
  // Both strings live across lines so that their buffers are reused.
  std::string line;
  std::string candidate;
  {
    // Views hear of the whole import as one change when it ends, however it
    // ends: the entries added before an error stay, and are shown.
    ProxyPool::BulkChange bulk(pool, lstAll);
    while (reader.NextLine(line)) {
      // The pattern's own matcher rather than the general scan: the same first
      // match, without the engine's backtracking through long runs of digits.
      candidate.assign(FindProxyEntry(line));
      // The check and the addition in one step: a verdict between them could
      // otherwise leave the entry in lstAll and lstFailed at once.
      if (!candidate.empty()) pool.AddNewProxyEntry(lstAll, candidate);
    }
    file.Close();
  }
  pool.SelectRandomProxy();
}

void ImportProxyList(ProxyPool& pool, const std::optional<std::string>& path) {
  if (!path) return;
  ProxyListFile file(*path);
  ImportProxyList(pool, file);
}
