// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/ProxyLineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pool/ProxyPattern.h"

namespace {

// Everything at or above 0x1B is plain text; below it only LF, CR and Ctrl-Z
// mean something, so the common case costs one comparison per byte.
inline bool IsPlainByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u > 0x1A || (u != '\n' && u != '\r' && u != 0x1A);
}

}  // namespace

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

ProxyListFile::ProxyListFile(const std::string& path) {
  // The name reaches open() as a C string: a NUL inside it would silently
  // name another file.
  if (path.find('\0') != std::string::npos) throw EInOutError(EINVAL);
  // Without O_NONBLOCK the open of a FIFO alone would wait for a writer.
  do {
    descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (descriptor_ < 0 && errno == EINTR);
  // A socket cannot be opened at all (ENXIO); it is no regular file either.
  struct stat status {};
  if (descriptor_ < 0 && errno == ENXIO && ::stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode))
    throw EInOutError(ENXIO, "Not a regular file");
  if (descriptor_ < 0) throw EInOutError(errno);
  if (::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(descriptor_);
    descriptor_ = -1;
    throw EInOutError(EINVAL, "Not a regular file");
  }
  // Blocking again, as every later read expects.
  const int flags = ::fcntl(descriptor_, F_GETFL);
  if (flags >= 0) ::fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK);
}

ProxyListFile ProxyListFile::Adopt(int descriptor) {
  return ProxyListFile(AdoptTag{}, descriptor);
}

ProxyListFile::~ProxyListFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

std::size_t ProxyListFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(descriptor_, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw EInOutError(errno);
  }
}

void ProxyListFile::Close() {
  const int descriptor = descriptor_;
  descriptor_ = -1;
  // Linux releases the descriptor even when close() is interrupted, so EINTR
  // is no failure and retrying could close someone else's new descriptor.
  if (::close(descriptor) != 0 && errno != EINTR) throw EInOutError(errno);
}

ProxyLineReader::ProxyLineReader(ProxyListFile& file, std::size_t blockSize, Lines lines)
    : file_(file), blockSize_(blockSize == 0 ? 1 : blockSize), lines_(lines), block_(new char[blockSize_]) {}

bool ProxyLineReader::FillBlock() {
  position_ = 0;
  filled_ = file_.Read(block_.get(), blockSize_);
  if (filled_ == 0) ended_ = true;
  return filled_ > 0;
}

bool ProxyLineReader::NextLine(std::string& line) {
  line.clear();
  if (ended_) return false;
  if (position_ == filled_ && !FillBlock()) return false;
  if (block_[position_] == kEndOfFileMark) {
    ended_ = true;
    return false;
  }
  // How long the line was when it was last trimmed.
  std::size_t trimmed = 0;
  for (;;) {
    if (position_ == filled_ && !FillBlock()) return true;  // the last line needs no line end
    const char* const begin = block_.get() + position_;
    const char* const end = block_.get() + filled_;
    const char* p = begin;
    while (p != end && IsPlainByte(*p)) ++p;
    line.append(begin, p);
    position_ = static_cast<std::size_t>(p - block_.get());
    if (lines_ == Lines::ForAddresses && line.size() >= trimmed + kLongLine) {
      if (TrimToMatchable(line, line.size() - trimmed)) {
        PassOverRestOfLine();
        return true;
      }
      trimmed = line.size();
    }
    if (p == end) continue;
    const char c = *p;
    ++position_;
    if (c == '\n') return true;
    if (c == '\r') continue;  // dropped; if an LF follows, that LF ends the line
    PassOverRestOfLine();     // Ctrl-Z inside the line
    return true;
  }
}

void ProxyLineReader::PassOverRestOfLine() {
  for (;;) {
    if (position_ == filled_ && !FillBlock()) return;
    const char* const begin = block_.get() + position_;
    const std::size_t length = filled_ - position_;
    const auto* lineFeed = static_cast<const char*>(std::memchr(begin, '\n', length));
    const std::size_t span = lineFeed != nullptr ? static_cast<std::size_t>(lineFeed - begin) : length;
    if (std::memchr(begin, kEndOfFileMark, span) != nullptr) {
      ended_ = true;
      return;
    }
    if (lineFeed != nullptr) {
      position_ = static_cast<std::size_t>(lineFeed - block_.get()) + 1;
      return;
    }
    position_ = filled_;
  }
}
