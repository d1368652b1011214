// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/ProxyImport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pool/ProxyLineReader.h"
#include "pool/ProxyPattern.h"
#include "pool/ProxyPool.h"
#include "regexp/zimRegExp.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::string>;
using namespace std::string_literals;

Entries Sorted(Entries entries) {
  std::sort(entries.begin(), entries.end());
  return entries;
}

class ImportTest : public ::testing::Test {
 protected:
  // Imports `bytes` as a file into the fixture's pool.
  void Import(const std::string& bytes) { ImportProxyList(pool_, dir_.Write("list.txt", bytes)); }
  // The message of the error the import of `path` raises, or "" for none.
  std::string ImportError(const std::optional<std::string>& path) {
    try {
      ImportProxyList(pool_, path);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }
  Entries All() const { return pool_.Entries(lstAll); }

  TempDir dir_;
  ProxyPool pool_;
};

struct LineCase {
  std::string line;
  Entries added;
};

// One line each, into an empty pool: what the pattern takes from it.
TEST_F(ImportTest, EachLineYieldsItsFirstAddressOrNothing) {
  const std::vector<LineCase> cases = {
      {"1.2.3.4:8080", {"1.2.3.4:8080"}},
      {"proxy 10.0.0.1:3128 anonymous", {"10.0.0.1:3128"}},
      {"1.2.3.4:80, 5.6.7.8:90", {"1.2.3.4:80"}},
      {"1.2.3.4.5:80", {"2.3.4.5:80"}},
      {"1x2y3z4:80", {"1x2y3z4:80"}},
      {"1234567:80", {"1234567:80"}},
      {"1:2:3:4:80", {"1:2:3:4:80"}},
      {"1.2.3.4 80", {}},
      {"1.2.3.4:", {}},
      {"a.b.c.d:80", {}},
      {"1.2.3.4:8080abc", {"1.2.3.4:8080"}},
      {"", {}},
      {"\t1.2.3.4:1\t", {"1.2.3.4:1"}},
  };
  for (const LineCase& c : cases) {
    ProxyPool pool;
    ImportProxyList(pool, dir_.Write("one.txt", c.line + "\n"));
    EXPECT_EQ(pool.Entries(lstAll), c.added) << "line '" << c.line << "'";
    EXPECT_EQ(pool.Count(lstWorking), 0u);
    EXPECT_EQ(pool.Count(lstFailed), 0u);
  }
}

TEST_F(ImportTest, SameTextOnceButDifferentTextsBoth) {
  Import("1.2.3.4:80\n9.9.9.9:99\n1.2.3.4:80\r\nsee 1.2.3.4:80 again\n1.2.3.4:080\n");
  EXPECT_EQ(All(), Sorted({"1.2.3.4:80", "1.2.3.4:080", "9.9.9.9:99"}));
}

TEST_F(ImportTest, AddressesTheListsKnowAreNotAddedAgain) {
  pool_.AddProxyEntry(lstWorking, "1.1.1.1:1");
  pool_.AddProxyEntry(lstFailed, "2.2.2.2:2");
  pool_.AddProxyEntry(lstAll, "3.3.3.3:3");
  Import("1.1.1.1:1\n2.2.2.2:2\n3.3.3.3:3\n4.4.4.4:4\n");
  EXPECT_EQ(All(), Sorted({"3.3.3.3:3", "4.4.4.4:4"}));
  EXPECT_EQ(pool_.Entries(lstWorking), Entries{"1.1.1.1:1"});
  EXPECT_EQ(pool_.Entries(lstFailed), Entries{"2.2.2.2:2"});
}

TEST_F(ImportTest, LineEndsAndEndMarks) {
  {
    ProxyPool pool;
    ImportProxyList(pool, dir_.Write("cr.txt", "1.2.3.4:80\r5.6.7.8:90\r"));
    EXPECT_EQ(pool.Entries(lstAll), Entries{"1.2.3.4:805"});
  }
  {
    ProxyPool pool;
    ImportProxyList(pool, dir_.Write("crlf.txt", "1.2.3.4:80\r\n5.6.7.8:90\r\n"));
    EXPECT_EQ(pool.Entries(lstAll), Sorted({"1.2.3.4:80", "5.6.7.8:90"}));
  }
  {
    ProxyPool pool;
    ImportProxyList(pool, dir_.Write("sub-first.txt",
                                     "\x1A"
                                     "1.2.3.4:80\n5.6.7.8:90\n"));
    EXPECT_EQ(pool.Count(lstAll), 0u);
  }
  {
    // The mark cuts the port short, hides the second address of its line and
    // lets the next line through.
    ProxyPool pool;
    ImportProxyList(pool, dir_.Write("sub-inside.txt",
                                     "1.2.3.4:80\x1A"
                                     "5.6.7.8:90\n9.9.9.9:99\n"));
    EXPECT_EQ(pool.Entries(lstAll), Sorted({"1.2.3.4:80", "9.9.9.9:99"}));
  }
  {
    ProxyPool pool;
    ImportProxyList(pool, dir_.Write("sub-later.txt",
                                     "1.2.3.4:80\n\x1A"
                                     "9.9.9.9:99\n"));
    EXPECT_EQ(pool.Entries(lstAll), Entries{"1.2.3.4:80"});
  }
}

TEST_F(ImportTest, EncodingsAreNotDecoded) {
  {
    // UTF-16 little-endian with its byte-order mark: a zero byte beside every digit.
    std::string utf16 = "\xFF\xFE"s;
    for (char c : "1.2.3.4:8080\r\n5.6.7.8:90\r\n"s) utf16 += std::string{c, '\0'};
    ProxyPool pool;
    ImportProxyList(pool, dir_.Write("utf16.txt", utf16));
    EXPECT_EQ(pool.Count(lstAll), 0u);
  }
  {
    ProxyPool pool;
    ImportProxyList(pool, dir_.Write("bom.txt",
                                     "\xEF\xBB\xBF"
                                     "1.2.3.4:80\n"));
    EXPECT_EQ(pool.Entries(lstAll), Entries{"1.2.3.4:80"});
  }
  {
    // Bytes above 0x7F and NULs around an address leave it as it is.
    ProxyPool pool;
    ImportProxyList(pool, dir_.Write("raw.txt", "\xE9\0 1.2.3.4:80\0\xFF\n"s));
    EXPECT_EQ(pool.Entries(lstAll), Entries{"1.2.3.4:80"});
  }
}

TEST_F(ImportTest, TheEndPicksAnUpstreamFromAll) {
  // Nothing to pick from: the upstream stays empty.
  Import("");
  EXPECT_EQ(pool_.CurrentUpstream(), Upstream{});

  // An empty file still ends with a pick when lstAll holds something.
  pool_.AddProxyEntry(lstAll, "7.7.7.7:77");
  Import("");
  EXPECT_EQ(pool_.CurrentUpstream(), (Upstream{"7.7.7.7", 77}));
  EXPECT_EQ(pool_.FieldText(edtHost), "7.7.7.7");
  EXPECT_EQ(pool_.FieldText(edtPort), "77");

  // A file without any address, likewise.
  pool_.RemoveProxyEntry(lstAll, "7.7.7.7:77");
  pool_.AddProxyEntry(lstAll, "8.8.8.8:88");
  Import("no proxies here\n");
  EXPECT_EQ(pool_.CurrentUpstream(), (Upstream{"8.8.8.8", 88}));
}

TEST_F(ImportTest, ImportedAddressBecomesTheUpstream) {
  Import("# list\nproxy 10.0.0.1:3128 anonymous\n");
  EXPECT_EQ(pool_.CurrentUpstream(), (Upstream{"10.0.0.1", 3128}));
}

TEST_F(ImportTest, CancelChangesNothing) {
  pool_.AddProxyEntry(lstAll, "1.2.3.4:80");
  int changes = 0;
  const int listener = pool_.AddListener([&](const PoolChange&) { ++changes; });
  EXPECT_EQ(ImportError(std::nullopt), "");
  pool_.RemoveListener(listener);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(pool_.CurrentUpstream(), Upstream{});
  EXPECT_EQ(pool_.FieldText(edtHost), "");
  EXPECT_EQ(All(), Entries{"1.2.3.4:80"});
}

TEST_F(ImportTest, FileErrorsStopTheImportWithoutAPick) {
  pool_.AddProxyEntry(lstAll, "1.2.3.4:80");
  const std::string regular = dir_.Write("regular.txt", "5.6.7.8:90\n");
  EXPECT_EQ(ImportError((dir_.Path() / "missing.txt").string()), "File not found");
  EXPECT_EQ(ImportError(regular + "/below"), "Invalid filename");
  EXPECT_EQ(ImportError(std::string(5000, 'n')), "Invalid filename");
  EXPECT_EQ(ImportError(""), "File not found");
  // Nothing that is not a regular file is read: a folder, a device that never
  // ends, a FIFO that nobody writes to (which would block the open itself).
  EXPECT_EQ(ImportError(dir_.Path().string()), "Not a regular file");
  EXPECT_EQ(ImportError("/dev/zero"), "Not a regular file");
  const std::string fifo = (dir_.Path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ImportError(fifo), "Not a regular file");
  // A NUL would cut the name short and open another file.
  EXPECT_EQ(ImportError(regular + "\0tail"s), "I/O error 22");
  EXPECT_EQ(All(), Entries{"1.2.3.4:80"});
  EXPECT_EQ(pool_.CurrentUpstream(), Upstream{});
}

// Raises the soft descriptor limit back on every path.
class DescriptorLimitGuard {
 public:
  DescriptorLimitGuard() { ::getrlimit(RLIMIT_NOFILE, &saved_); }
  ~DescriptorLimitGuard() {
    for (int fd : taken_) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved_);
  }
  DescriptorLimitGuard(const DescriptorLimitGuard&) = delete;
  DescriptorLimitGuard& operator=(const DescriptorLimitGuard&) = delete;

  // Takes every free descriptor below a limit just above the highest one open.
  bool Exhaust() {
    int highest = 2;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd"))
      highest = std::max(highest, std::atoi(entry.path().filename().c_str()));
    rlimit low = saved_;
    low.rlim_cur = static_cast<rlim_t>(highest + 2);
    if (::setrlimit(RLIMIT_NOFILE, &low) != 0) return false;
    for (int fd; (fd = ::dup(0)) >= 0;) taken_.push_back(fd);
    return errno == EMFILE;
  }

 private:
  rlimit saved_{};
  std::vector<int> taken_;
};

// The sanitizer runtimes open a pipe of their own to probe memory before they
// check a vtable, and abort in a process that has no descriptor left for it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

TEST_F(ImportTest, TooManyOpenFiles) {
  if (kUnderSanitizer) GTEST_SKIP() << "sanitizers cannot run without free descriptors";
  const std::string path = dir_.Write("list.txt", "1.2.3.4:80\n");
  std::string message;
  {
    DescriptorLimitGuard guard;
    ASSERT_TRUE(guard.Exhaust());
    message = ImportError(path);
  }
  EXPECT_EQ(message, "Too many open files");
  EXPECT_EQ(pool_.Count(lstAll), 0u);
  // With the descriptors back, the same file imports.
  EXPECT_EQ(ImportError(path), "");
  EXPECT_EQ(All(), Entries{"1.2.3.4:80"});
}

// A loopback connection whose peer sends lines and then resets: the read after
// the lines fails, as a disk or network file system can fail in mid-file.
TEST_F(ImportTest, ReadErrorInMidFileKeepsWhatWasAddedAndPicksNothing) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(client, 0);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const int peer = ::accept(listener, nullptr, nullptr);
  ::close(listener);
  ASSERT_GE(peer, 0);
  const std::string lines = "1.1.1.1:1\n2.2.2.2:2\n";
  ASSERT_EQ(::send(peer, lines.data(), lines.size(), MSG_NOSIGNAL), static_cast<ssize_t>(lines.size()));
  const linger reset{1, 0};
  ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  ::close(peer);

  ProxyListFile file = ProxyListFile::Adopt(client);
  try {
    ImportProxyList(pool_, file);
    FAIL() << "the reset went unnoticed";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, ECONNRESET);
    EXPECT_EQ(std::string(e.what()), "I/O error " + std::to_string(ECONNRESET));
  }
  EXPECT_EQ(All(), Sorted({"1.1.1.1:1", "2.2.2.2:2"}));
  EXPECT_EQ(pool_.CurrentUpstream(), Upstream{});
}

TEST_F(ImportTest, FiftyMegabytesOnOneLine) {
  std::string line(50u << 20, 'x');
  const std::string tail = " 1.2.3.4:8080\n";
  line.replace(line.size() - tail.size(), tail.size(), tail);
  Import(line);
  EXPECT_EQ(All(), Entries{"1.2.3.4:8080"});
}

// Each line goes through the engine's scan; a line with a digit run past the
// engine's comfort goes to the pattern's own matcher, which must give the
// engine's match all the same (40 digits: the engine still answers, slowly).
TEST(ScanProxyLine, GivesTheEnginesMatchOnPlainAndHostileLines) {
  const std::string hostile = "id " + std::string(40, '7') + ":x then 1.2.3.4:80";
  const std::string padded = std::string(40, '1') + ".2.3.4:8080 ok";
  for (const std::string& line : {std::string("proxy 10.0.0.1:3128 anonymous"), std::string("1x2y3z4:80"), hostile,
                                  padded}) {
    std::string engine;
    RegExpScanf(kProxyPattern, line, {"1:STRING", &engine}, DefaultRegExpOptions, false);
    EXPECT_EQ(ScanProxyLine(line), engine) << line;
  }
  EXPECT_EQ(ScanProxyLine(hostile), "1.2.3.4:80");
  EXPECT_EQ(ScanProxyLine(padded), std::string(40, '1') + ".2.3.4:8080");
}

TEST(InOutErrorMessage, LinuxErrorNumbersMapToTheFixedTexts) {
  EXPECT_EQ(InOutErrorMessage(ENOENT), "File not found");
  EXPECT_EQ(InOutErrorMessage(ENOTDIR), "Invalid filename");
  EXPECT_EQ(InOutErrorMessage(ENAMETOOLONG), "Invalid filename");
  EXPECT_EQ(InOutErrorMessage(EMFILE), "Too many open files");
  EXPECT_EQ(InOutErrorMessage(EACCES), "File access denied");
  EXPECT_EQ(InOutErrorMessage(EPERM), "File access denied");
  // The Windows numbers mean other things here and must not be read as theirs.
  EXPECT_EQ(InOutErrorMessage(2), "File not found");  // ENOENT happens to be 2 on both
  EXPECT_EQ(InOutErrorMessage(EIO), "I/O error 5");
  EXPECT_EQ(InOutErrorMessage(ESRCH), "I/O error 3");
  EXPECT_EQ(InOutErrorMessage(EINTR), "I/O error 4");
  EXPECT_EQ(InOutErrorMessage(EISDIR), "I/O error 21");
  EXPECT_EQ(InOutErrorMessage(ENFILE), "I/O error 23");
  EXPECT_EQ(InOutErrorMessage(0), "I/O error 0");
  EXPECT_EQ(InOutErrorMessage(-7), "I/O error -7");
  EXPECT_EQ(InOutErrorMessage(100), "I/O error 100");
}

TEST(InOutErrorMessage, ErrorKeepsNumberAndMessage) {
  const EInOutError error(EACCES);
  EXPECT_EQ(error.ErrorCode, EACCES);
  EXPECT_STREQ(error.what(), "File access denied");
  const EInOutError other(EBUSY);
  EXPECT_EQ(other.ErrorCode, EBUSY);
  EXPECT_EQ(std::string(other.what()), "I/O error " + std::to_string(EBUSY));
}

}  // namespace
