// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Import of proxy lists from text files: at most one "a.b.c.d:port" per line
// goes into lstAll unless one of the three lists knows it, then a random pick.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

class ProxyPool;
class ProxyListFile;

// A failed open, read or close of the list file, with its error number.
class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int errorNumber);
  // The same with a message of its own.
  EInOutError(int errorNumber, const std::string& message);
  int ErrorCode;
};

// "File not found", "Invalid filename", "Too many open files", "File access
// denied", else "I/O error %d", for a Linux errno.
std::string InOutErrorMessage(int errorNumber);

// The import behind the Open button. `path` is the file the dialog gave, or no
// value when the dialog was cancelled (then nothing changes). Throws EInOutError
// or EListError; entries added before the error stay and no upstream is picked.
void ImportProxyList(ProxyPool& pool, const std::optional<std::string>& path);

// The same import once the file is open: every line, then Close() (whose
// failure is an error too) and the pick. After an error the file is left open
// for its owner to drop.
void ImportProxyList(ProxyPool& pool, ProxyListFile& file);
