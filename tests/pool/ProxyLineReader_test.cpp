// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/ProxyLineReader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pool/ProxyImport.h"
#include "pool/ProxyPattern.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using namespace std::string_literals;

Lines ReadLines(ProxyListFile& file, std::size_t blockSize) {
  ProxyLineReader reader(file, blockSize);
  Lines lines;
  std::string line;
  while (reader.NextLine(line)) lines.push_back(line);
  return lines;
}

Lines ReadFileLines(const std::string& path, std::size_t blockSize) {
  ProxyListFile file(path);
  Lines lines = ReadLines(file, blockSize);
  file.Close();
  return lines;
}

int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

struct LineCase {
  const char* name;
  std::string bytes;
  Lines expected;
};

// Every case is read with tiny blocks too, so that each line end, CR and
// Ctrl-Z lands at a block boundary in one of the runs.
const std::vector<LineCase>& LineCases() {
  static const std::vector<LineCase> cases = {
      {"EmptyFileHasNoLines", "", {}},
      {"LastLineNeedsNoEnd", "a\nb", {"a", "b"}},
      {"FinalLineFeedAddsNoLine", "a\nb\n", {"a", "b"}},
      {"EmptyLinesCount", "\n\nx\n", {"", "", "x"}},
      {"CrLfEndsLine", "1.2.3.4:80\r\n5.6.7.8:90\r\n", {"1.2.3.4:80", "5.6.7.8:90"}},
      {"MixedEnds", "a\r\nb\nc\r\n", {"a", "b", "c"}},
      {"LoneCrIsDroppedAndJoins", "1.2.3.4:80\r5.6.7.8:90\r", {"1.2.3.4:805.6.7.8:90"}},
      {"CrBeforeCrLf", "a\r\r\nb", {"a", "b"}},
      {"CrInsideLine", "a\rb\r\nc", {"ab", "c"}},
      {"CrLineIsEmptyLine", "\r\nx", {"", "x"}},
      {"MarkAtStartEndsFile",
       "\x1A"
       "1.2.3.4:80\n",
       {}},
      {"MarkAtStartOfLaterLine",
       "a\n\x1A"
       "b\nc\n",
       {"a"}},
      {"MarkInsideLineEndsItsText",
       "ab\x1A"
       "cd\nef\n",
       {"ab", "ef"}},
      {"MarkInsideLinePassesOverCrLf",
       "ab\x1A"
       "c\rd\r\nef",
       {"ab", "ef"}},
      {"SecondMarkWhilePassingOverEndsFile",
       "ab\x1A"
       "cd\x1A"
       "ef\ngh\n",
       {"ab"}},
      {"MarkRightAfterMark", "ab\x1A\x1A\ngh", {"ab"}},
      {"MarkAsLastByte", "ab\x1A", {"ab"}},
      {"MarkAfterDroppedCrIsInsideLine",
       "\r\x1A"
       "x\ny",
       {"", "y"}},
      {"BytesAreNotDecoded",
       "\xEF\xBB\xBF"
       "1.2.3.4:80\n\xFF\x00\x01\x1B\t\n"s,
       {"\xEF\xBB\xBF"
        "1.2.3.4:80",
        "\xFF\x00\x01\x1B\t"s}},
      {"Utf16KeepsItsZeroBytes", "1\0.\0\n\0"s, {"1\0.\0"s, "\0"s}},
  };
  return cases;
}

class LineReaderCases : public ::testing::TestWithParam<std::size_t> {};

TEST_P(LineReaderCases, EveryCaseAtThisBlockSize) {
  TempDir dir;
  for (const LineCase& c : LineCases()) {
    const std::string path = dir.Write(c.name, c.bytes);
    EXPECT_EQ(ReadFileLines(path, GetParam()), c.expected) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, LineReaderCases,
                         ::testing::Values(1, 2, 3, 4, 5, 7, 16, ProxyLineReader::kDefaultBlockSize));

TEST(LineReaderBoundaries, CrAtBlockEndAndLfAtNextBlockStartEndOneLine) {
  TempDir dir;
  // Blocks of 3: "ab\r" | "\ncd"
  EXPECT_EQ(ReadFileLines(dir.Write("f", "ab\r\ncd"), 3), (Lines{"ab", "cd"}));
  // A lone CR at a block end, then plain text: still dropped, still one line.
  EXPECT_EQ(ReadFileLines(dir.Write("g", "ab\rcd\n"), 3), (Lines{"abcd"}));
}

TEST(LineReaderBoundaries, MarkAtBlockStart) {
  TempDir dir;
  // Blocks of 3: "ab\n" | "\x1A" ...: the mark opens the second line and the second block.
  EXPECT_EQ(ReadFileLines(dir.Write("f",
                                    "ab\n\x1A"
                                    "cd\n"),
                          3),
            (Lines{"ab"}));
  // Blocks of 2: "ab" | "\x1A" "c" | "d\n" | "ef": a mark inside the line, passing over spans blocks.
  EXPECT_EQ(ReadFileLines(dir.Write("g",
                                    "ab\x1A"
                                    "cd\nef"),
                          2),
            (Lines{"ab", "ef"}));
  // The second mark sits in a later block than the first.
  EXPECT_EQ(ReadFileLines(dir.Write("h",
                                    "ab\x1A"
                                    "cdef\x1A"
                                    "\nxy"),
                          3),
            (Lines{"ab"}));
}

TEST(LineReaderBoundaries, LinesLongerThanABlockAreReadWhole) {
  TempDir dir;
  std::string longLine;
  for (int i = 0; i < 5000; ++i) longLine += static_cast<char>('a' + i % 26);
  const std::string bytes = "short\n" + longLine + "\r\nx\n" + longLine;
  EXPECT_EQ(ReadFileLines(dir.Write("f", bytes), 7), (Lines{"short", longLine, "x", longLine}));
  EXPECT_EQ(ReadFileLines(dir.Write("f", bytes), 64), (Lines{"short", longLine, "x", longLine}));
}

// Read for addresses, a line of 64 MiB without a line end costs what can
// still hold its first address, not its length.
TEST(LineReaderBoundaries, ALongLineReadForAddressesKeepsLittle) {
  TempDir dir;
  std::string noise;
  for (int i = 0; i < 64 * 1024 * 1024; ++i) noise += "x.:7 "[i % 5];
  const std::string path = dir.Write("f", noise + " 10.1.2.3:8080 " + noise + "\nnext 1.2.3.4:5");
  ProxyListFile file(path);
  ProxyLineReader reader(file, ProxyLineReader::kDefaultBlockSize, ProxyLineReader::Lines::ForAddresses);
  std::string line;
  ASSERT_TRUE(reader.NextLine(line));
  EXPECT_EQ(FindProxyEntry(line), "10.1.2.3:8080");
  EXPECT_LT(line.capacity(), 4u * ProxyLineReader::kLongLine);
  ASSERT_TRUE(reader.NextLine(line));
  EXPECT_EQ(line, "next 1.2.3.4:5");
}

TEST(LineReaderState, AfterTheEndItStaysEndedAndEmptiesTheLine) {
  TempDir dir;
  ProxyListFile file(dir.Write("f",
                               "only\n\x1A"
                               "hidden\n"));
  ProxyLineReader reader(file, 4);
  std::string line = "stale";
  ASSERT_TRUE(reader.NextLine(line));
  EXPECT_EQ(line, "only");
  line = "stale";
  EXPECT_FALSE(reader.NextLine(line));
  EXPECT_EQ(line, "");
  EXPECT_FALSE(reader.NextLine(line));
}

TEST(LineReaderState, ReusedLineBufferCarriesNothingOver) {
  TempDir dir;
  ProxyListFile file(dir.Write("f", std::string(300, 'z') + "\nab\n\n"));
  ProxyLineReader reader(file, 16);
  std::string line;
  ASSERT_TRUE(reader.NextLine(line));
  EXPECT_EQ(line.size(), 300u);
  ASSERT_TRUE(reader.NextLine(line));
  EXPECT_EQ(line, "ab");
  ASSERT_TRUE(reader.NextLine(line));
  EXPECT_EQ(line, "");
  EXPECT_FALSE(reader.NextLine(line));
}

// A folder opens but never reads; it is refused by name before that.
TEST(ListFile, ADirectoryIsNoRegularFile) {
  TempDir dir;
  try {
    ProxyListFile file(dir.Path().string());
    FAIL() << "a directory was opened";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Not a regular file");
  }
}

TEST(ListFile, DescriptorIsReleasedOnEveryPath) {
  TempDir dir;
  const std::string path = dir.Write("f", "1.2.3.4:80\n");
  const int before = OpenDescriptorCount();
  {
    ProxyListFile file(path);
    EXPECT_EQ(OpenDescriptorCount(), before + 1);
    EXPECT_TRUE(file.IsOpen());
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
  {
    ProxyListFile file(path);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(OpenDescriptorCount(), before);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(ListFile, DescriptorIsNotInheritedByChildren) {
  TempDir dir;
  const std::string path = dir.Write("f", "x");
  const int before = OpenDescriptorCount();
  ProxyListFile file(path);
  // The new descriptor is the one /proc lists beyond those open before.
  bool found = false;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    const int fd = std::atoi(entry.path().filename().c_str());
    std::error_code ec;
    if (fs::read_symlink(entry.path(), ec) == fs::path(path)) {
      found = true;
      EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(OpenDescriptorCount(), before + 1);
}

TEST(ListFile, FailedCloseIsReported) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ::close(pipeEnds[1]);
  ProxyListFile file = ProxyListFile::Adopt(pipeEnds[0]);
  ::close(pipeEnds[0]);  // behind the file's back: its own close must now fail
  try {
    file.Close();
    FAIL() << "closing a stale descriptor succeeded";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, EBADF);
    EXPECT_STREQ(e.what(), "I/O error 9");
  }
  EXPECT_FALSE(file.IsOpen());
}

void IgnoreSignal(int) {}

// A slow writer on a FIFO gives short reads, and signals without SA_RESTART
// interrupt the blocked read: neither may lose or split a line.
TEST(ListFile, InterruptedAndShortReadsLoseNothing) {
  TempDir dir;
  const std::string fifo = (dir.Path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  struct sigaction action {};
  action.sa_handler = IgnoreSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

  const pthread_t reader = ::pthread_self();
  std::atomic<bool> stop{false};
  std::thread signaller([&] {
    for (int i = 0; i < 200 && !stop.load(); ++i) {
      ::pthread_kill(reader, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    const std::string parts[] = {"1.2.3", ".4:80\r", "\n5.6.7.8:9", "0\n", "last"};
    for (const std::string& part : parts) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (::write(fd, part.data(), part.size()) < 0) break;
    }
    ::close(fd);
  });

  Lines lines;
  {
    // By name a FIFO is refused; opened here, its reads are the test.
    int fd;
    do {
      fd = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    ASSERT_GE(fd, 0);
    ProxyListFile file = ProxyListFile::Adopt(fd);
    lines = ReadLines(file, 64);
    file.Close();
  }
  stop = true;
  signaller.join();
  writer.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(lines, (Lines{"1.2.3.4:80", "5.6.7.8:90", "last"}));
}

}  // namespace
