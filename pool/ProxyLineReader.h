// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Reading proxy list files: the file itself, and the lines in it as the old
// text-file reader saw them (LF or CR LF ends a line, a lone CR is dropped,
// Ctrl-Z marks the end), without decoding a single byte.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

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

// A list file open for reading. Every failure throws EInOutError with errno;
// the destructor closes quietly, Close() reports. Only a regular file is
// opened by name: a FIFO without a writer, a socket, a device or a folder
// would block the window or never end, and gives "Not a regular file".
class ProxyListFile {
 public:
  explicit ProxyListFile(const std::string& path);
  // Takes over a descriptor someone else opened; it is closed like our own.
  static ProxyListFile Adopt(int descriptor);
  ~ProxyListFile();
  ProxyListFile(const ProxyListFile&) = delete;
  ProxyListFile& operator=(const ProxyListFile&) = delete;

  // Up to `size` bytes (a pipe may give fewer); 0 only at the end of the file.
  std::size_t Read(char* buffer, std::size_t size);
  void Close();
  bool IsOpen() const { return descriptor_ >= 0; }

 private:
  struct AdoptTag {};
  ProxyListFile(AdoptTag, int descriptor) : descriptor_(descriptor) {}
  int descriptor_ = -1;
};

class ProxyLineReader {
 public:
  static constexpr std::size_t kDefaultBlockSize = 64 * 1024;
  static constexpr char kEndOfFileMark = 0x1A;
  // How much of a long line is read before what no address can use is let go.
  static constexpr std::size_t kLongLine = 1024 * 1024;

  // Whole: every line as it is. ForAddresses: a line past kLongLine keeps only
  // what can still hold its first address (TrimToMatchable), so that a file
  // without line ends costs a few MiB, not its size.
  enum class Lines { Whole, ForAddresses };

  explicit ProxyLineReader(ProxyListFile& file, std::size_t blockSize = kDefaultBlockSize,
                           Lines lines = Lines::Whole);

  // Replaces `line` with the text of the next line (its capacity is kept, so a
  // caller that passes the same string each time allocates only for the
  // longest line). False once the file has ended; `line` is then empty.
  bool NextLine(std::string& line);

 private:
  bool FillBlock();
  void PassOverRestOfLine();

  ProxyListFile& file_;
  std::size_t blockSize_;
  Lines lines_;
  std::unique_ptr<char[]> block_;
  std::size_t position_ = 0;
  std::size_t filled_ = 0;
  bool ended_ = false;
};
