// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Any bytes as a proxy list file, read in blocks of any size: the line reader
// must give exactly the lines a plain reading of the rules gives (LF or CR LF
// ends a line, a lone CR is dropped, Ctrl-Z ends a line's text and, at the
// start of a line or while its rest is passed over, the file).
//
// The first input byte chooses the block size, so that every way a line end or
// a Ctrl-Z can straddle two reads is met.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pool/ProxyLineReader.h"

namespace {

std::vector<std::string> ExpectedLines(const std::string& d) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  const std::size_t n = d.size();
  while (i < n && d[i] != '\x1a') {
    std::string line;
    for (;;) {
      if (i == n) {
        lines.push_back(line);
        return lines;
      }
      const char c = d[i++];
      if (c == '\n') break;
      if (c == '\r') {
        if (i < n && d[i] == '\n') {
          ++i;
          break;
        }
        continue;
      }
      if (c == '\x1a') {
        for (; i < n && d[i] != '\n'; ++i) {
          if (d[i] == '\x1a') {
            lines.push_back(line);
            return lines;
          }
        }
        if (i < n) ++i;
        break;
      }
      line += c;
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t blockSize = 1 + data[0] % 17;
  const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);

  const int fd = ::memfd_create("list", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  if (::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) std::abort();
  ::lseek(fd, 0, SEEK_SET);
  ProxyListFile file = ProxyListFile::Adopt(fd);
  ProxyLineReader reader(file, blockSize);

  std::vector<std::string> got;
  std::string line;
  while (reader.NextLine(line)) {
    got.push_back(line);
    if (got.size() > content.size() + 1) std::abort();  // a reader that never ends
  }
  if (!line.empty()) std::abort();
  // A finished reader stays finished.
  if (reader.NextLine(line) || !line.empty()) std::abort();
  if (got != ExpectedLines(content)) std::abort();
  return 0;
}
