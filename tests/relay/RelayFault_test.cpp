// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The relay when its peers misbehave: resets on either side, an upstream that
// never answers or refuses, descriptors running out in the middle of a burst.
// Every case must end with the relay's sockets and threads gone, the proxy
// judged, and the relay still serving.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/ConnectionServer.h"
#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "relay/EndOfConnection.h"
#include "relay/RelayHandler.h"
#include "support/ByteStreams.h"
#include "support/LoopbackSockets.h"
#include "support/PollingEchoServer.h"
#include "support/ProcessUsage.h"
#include "support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Beyond the longest the relay may take to let a connection go: a client gone
// by reset while its upstream stays silent waits out twice the end grace.
constexpr std::chrono::milliseconds kPatience = 2 * kEndGrace + 2s;

// The sanitizers' runtimes need descriptors of their own to report anything,
// so a process without a free one trips them into false alarms.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

int MillisLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

TestSocket AcceptWithin(const TestSocket& listener, std::chrono::milliseconds time = kPatience) {
  pollfd p{listener.fd(), POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(time.count())) != 1) return TestSocket();
  return TestSocket(::accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC));
}

bool SendText(const TestSocket& socket, const std::string& text) {
  return ::send(socket.fd(), text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Exactly `count` bytes, or fewer when the peer ends or the time runs out.
std::string ReceiveExactly(const TestSocket& socket, std::size_t count,
                           std::chrono::milliseconds time = kPatience) {
  const auto deadline = Clock::now() + time;
  std::string got;
  char buf[4096];
  while (got.size() < count) {
    pollfd p{socket.fd(), POLLIN, 0};
    if (::poll(&p, 1, MillisLeft(deadline)) != 1) break;
    ssize_t n = ::recv(socket.fd(), buf, std::min(sizeof buf, count - got.size()), 0);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

// The peer's end (orderly or by reset) arrives within the time; bytes before
// it are passed over.
bool ClosedWithin(const TestSocket& socket, std::chrono::milliseconds time = kPatience) {
  const auto deadline = Clock::now() + time;
  char buf[4096];
  for (;;) {
    pollfd p{socket.fd(), POLLIN, 0};
    if (::poll(&p, 1, MillisLeft(deadline)) != 1) return false;
    ssize_t n = ::recv(socket.fd(), buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
  }
}

std::string PatternText(std::size_t size, std::uint8_t seed) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>(PatternByte(i, seed));
  return text;
}

// Bytes sent on the socket that its peer has not acknowledged yet.
int UnsentBytes(const TestSocket& socket) {
  int bytes = 0;
  return ::ioctl(socket.fd(), SIOCOUTQ, &bytes) == 0 ? bytes : -1;
}

std::string EntryFor(std::uint16_t port) {
  return "127.0.0.1:" + std::to_string(port);
}

void EmptyPool(ProxyPool& pool) {
  for (ProxyListId list : {lstAll, lstWorking, lstFailed}) {
    for (const std::string& e : pool.Entries(list)) pool.RemoveProxyEntry(list, e);
  }
  pool.SetFieldText(edtHost, "");
  pool.SetFieldText(edtPort, "");
  pool.ApplyUpstream();
}

int CountOf(const std::vector<std::string>& entries, const std::string& entry) {
  return static_cast<int>(std::count(entries.begin(), entries.end(), entry));
}

// The relay as the program serves it (the process pool, the real clock), on an
// ephemeral port. Every short connection here must be judged failed.
class RelayFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EmptyPool(pool_);
    // A sanitizer's runtime starts a thread of its own with the first thread
    // of the process; it must be there before anything is counted. The joined
    // thread itself is still counted for a moment after the join, on a busy
    // machine long enough to count it.
    pid_t joined = 0;
    std::thread([&joined] { joined = ::gettid(); }).join();
    const std::string task = "/proc/self/task/" + std::to_string(joined);
    ASSERT_TRUE(WaitUntil([&] { return ::access(task.c_str(), F_OK) != 0; }, kPatience));
    beforeServer_ = CurrentUsage();
    listener_ = TcpServe(0, RelayHandler);
    ASSERT_TRUE(listener_);
    relayPort_ = static_cast<std::uint16_t>(LocalPort(listener_->Get()));
    ASSERT_GT(relayPort_, 0);
    baseline_ = CurrentUsage();
  }

  void TearDown() override {
    // The accept loop ends and closes the listening socket.
    if (listener_) listener_->StopAccepting();
    // The next test measures from a quiet process: the last connection's
    // threads and the listener wind down on their own.
    EXPECT_TRUE(WaitUntil([&] { return CurrentUsage() == beforeServer_; }, kPatience))
        << "now " << CurrentUsage() << ", before the server " << beforeServer_;
    EmptyPool(pool_);
  }

  void UseUpstream(std::uint16_t port) {
    pool_.SetFieldText(edtHost, "127.0.0.1");
    pool_.SetFieldText(edtPort, std::to_string(port));
    pool_.ApplyUpstream();
  }

  // A client relayed to an upstream of its own, the client's first bytes
  // already there: where each fault below begins.
  struct Relayed {
    TestSocket upstream;  // listening
    std::string entry;
    TestSocket client;
    TestSocket far;  // the upstream's end of the relayed connection
  };

  void OpenRelayed(Relayed& r, const std::string& request) {
    std::uint16_t port = 0;
    r.upstream = ListenLoopback(port);
    r.entry = EntryFor(port);
    UseUpstream(port);
    r.client = ConnectLoopback(relayPort_);
    ASSERT_TRUE(r.client);
    ASSERT_TRUE(SendText(r.client, request));
    r.far = AcceptWithin(r.upstream);
    ASSERT_TRUE(r.far);
    ASSERT_EQ(ReceiveExactly(r.far, request.size()), request);
  }

  // Once the test's own ends are closed, nothing of the connection is left in
  // the relay, and the relay goes on serving.
  void CloseAndExpectRecovered(Relayed& r) {
    r.client.Close();
    r.far.Close();
    r.upstream.Close();
    ExpectAllReleased();
    ExpectStillServing();
  }

  // However many verdicts, and however close together, the entry stands once
  // in lstFailed.
  bool JudgedFailed(const std::string& entry) {
    return WaitUntil(
        [&] {
          return CountOf(pool_.Entries(lstFailed), entry) == 1 && !pool_.ContainsProxyEntry(lstAll, entry) &&
                 !pool_.ContainsProxyEntry(lstWorking, entry);
        },
        kPatience);
  }

  // Every socket and thread of the relayed connection is gone once the test's
  // own ends are closed.
  void ExpectAllReleased() {
    EXPECT_TRUE(WaitUntil([&] { return CurrentUsage() == baseline_; }, kPatience))
        << "now " << CurrentUsage() << ", before " << baseline_;
  }

  // The relay still relays: a fresh connection to an echoing upstream.
  void ExpectStillServing() {
    Relayed r;
    ASSERT_NO_FATAL_FAILURE(OpenRelayed(r, "still there?"));
    ASSERT_TRUE(SendText(r.far, "yes"));
    EXPECT_EQ(ReceiveExactly(r.client, 3), "yes");
  }

  ProxyPool& pool_ = ThePool();
  std::shared_ptr<ListeningSocket> listener_;
  std::uint16_t relayPort_ = 0;
  Usage beforeServer_;
  Usage baseline_;
};

// The bytes before the upstream's reset all arrive, and then the reset
// itself: an orderly end would pass the cut stream off as a whole one.
TEST_F(RelayFaultTest, UpstreamResetMidStreamReachesTheClientAsAResetAfterItsBytes) {
  Relayed r;
  ASSERT_NO_FATAL_FAILURE(OpenRelayed(r, "ping"));
  // The verdict comes at the upstream's end; it must move the entry, not copy it.
  pool_.AddProxyEntry(lstWorking, r.entry);
  const std::string bytes = PatternText(100'000, 4);
  ASSERT_TRUE(SendText(r.far, bytes));
  ASSERT_TRUE(WaitUntil([&] { return UnsentBytes(r.far) == 0; }, kPatience));
  r.far.CloseWithReset();

  EXPECT_TRUE(ReceiveExactly(r.client, bytes.size()) == bytes);
  pollfd p{r.client.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, static_cast<int>(kPatience.count())), 1);
  char byte;
  EXPECT_EQ(::recv(r.client.fd(), &byte, 1, 0), -1);
  EXPECT_EQ(errno, ECONNRESET) << "the reset reached the client as an orderly end";
  EXPECT_TRUE(JudgedFailed(r.entry));
  CloseAndExpectRecovered(r);
}

TEST_F(RelayFaultTest, ClientResetMidStreamClosesTheUpstreamAndFailsTheProxy) {
  Relayed r;
  ASSERT_NO_FATAL_FAILURE(OpenRelayed(r, "half a request"));
  // Bytes on their way to the client when it vanishes.
  ASSERT_TRUE(SendText(r.far, std::string(3000, 'r')));

  r.client.CloseWithReset();
  EXPECT_TRUE(ClosedWithin(r.far));
  EXPECT_TRUE(JudgedFailed(r.entry));
  CloseAndExpectRecovered(r);
}

TEST_F(RelayFaultTest, SilentUpstreamHearsTheClientLeaveAndIsJudgedWhenItCloses) {
  Relayed r;
  ASSERT_NO_FATAL_FAILURE(OpenRelayed(r, "hello?"));
  // The upstream never says a word; the client gives up.
  std::this_thread::sleep_for(50ms);
  r.client.Close();

  EXPECT_TRUE(ClosedWithin(r.far)) << "the client's end never reached the silent upstream";
  // The upstream's side may still answer a half-closed client: the verdict
  // waits for its end.
  EXPECT_EQ(pool_.Count(lstFailed), 0u);
  r.far.Close();
  EXPECT_TRUE(JudgedFailed(r.entry));
  CloseAndExpectRecovered(r);
}

// A client that sends its request and shuts its sending side (nc -N, HTTP/1.0
// tools) still gets the whole answer, which the upstream sends only once it
// has read the request to its end.
TEST_F(RelayFaultTest, AHalfClosedClientGetsTheWholeAnswer) {
  const std::string request = PatternText(50'000, 1);
  const std::string answer = PatternText(200'000, 2);
  std::string heard;
  LoopbackServer server([&](int fd) {
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) heard.append(buf, static_cast<std::size_t>(n));
    SendAll(fd, answer.data(), answer.size());
    ::shutdown(fd, SHUT_WR);
  });
  UseUpstream(server.port());
  TestSocket client = ConnectLoopback(relayPort_);
  ASSERT_TRUE(client);
  ASSERT_TRUE(SendText(client, request));
  ::shutdown(client.fd(), SHUT_WR);
  const std::string got = ReceiveExactly(client, SIZE_MAX);  // to the end of stream
  EXPECT_EQ(got.size(), answer.size());
  EXPECT_TRUE(got == answer) << "the answer came back altered";
  EXPECT_TRUE(WaitUntil([&] { return server.Accepted() == 1 && heard.size() == request.size(); }, kPatience));
  EXPECT_TRUE(JudgedFailed(EntryFor(server.port())));
}

// A busy proxy stops reading for 5 s before a client that has sent a long
// request and half-closed: nothing is cut meanwhile, the whole answer arrives
// and ends in order.
TEST_F(RelayFaultTest, AProxyThatPausesBeforeAHalfClosedClientStillAnswersInFull) {
  const std::string request = PatternText(1 << 20, 5);
  LoopbackServer server([&](int fd) {
    const int small = 64 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::this_thread::sleep_for(5s);
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) SendAll(fd, buf, static_cast<std::size_t>(n));
    ::shutdown(fd, SHUT_WR);
  });
  UseUpstream(server.port());
  TestSocket client = ConnectLoopback(relayPort_);
  ASSERT_TRUE(client);
  const timeval patience{20, 0};
  ::setsockopt(client.fd(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  std::thread sending([&] {
    SendText(client, request);
    ::shutdown(client.fd(), SHUT_WR);
  });
  std::string got;
  char buf[4096];
  ssize_t n;
  while ((n = ::recv(client.fd(), buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<std::size_t>(n));
  const int error = n < 0 ? errno : 0;
  sending.join();
  EXPECT_EQ(n, 0) << "ended by " << std::strerror(error);
  EXPECT_EQ(got.size(), request.size());
  EXPECT_TRUE(got == request) << "the answer came back altered";
  EXPECT_TRUE(JudgedFailed(EntryFor(server.port())));
}

// A proxy answers, half-closes, and goes on reading the client's upload at
// 1 MB/s: the upload arrives whole and ends in order. (Its window stays above
// loopback's segment size: a smaller one falls back on delayed
// acknowledgements, a few hundred KB/s on a busy machine.)
// The queue toward such a proxy stays full (the client's pump refills it as
// fast as the proxy empties it); what the proxy acknowledges grows. The
// system buffers up to 4 MB on the way, so only an upload well past that
// keeps the relay waiting on the proxy for longer than the grace.
TEST_F(RelayFaultTest, AnUploadToAProxyThatHalfClosedFirstArrivesWhole) {
  const std::string upload = PatternText(8'000'000, 6);
  std::string heard;
  std::atomic<int> ended{-1};  // 0: an orderly end, else the error
  LoopbackServer server([&](int fd) {
    const int window = 256 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    SendAll(fd, "ready\n", 6);
    ::shutdown(fd, SHUT_WR);
    const auto begin = Clock::now();
    char buf[4096];
    for (;;) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) {
        ended = n == 0 ? 0 : errno;
        return;
      }
      heard.append(buf, static_cast<std::size_t>(n));
      std::this_thread::sleep_until(begin + heard.size() * 1000ns);
    }
  });
  UseUpstream(server.port());
  TestSocket client = ConnectLoopback(relayPort_);
  ASSERT_TRUE(client);
  EXPECT_EQ(ReceiveExactly(client, 6), "ready\n");
  EXPECT_TRUE(ClosedWithin(client));
  ASSERT_TRUE(SendText(client, upload));
  ::shutdown(client.fd(), SHUT_WR);
  ASSERT_TRUE(WaitUntil([&] { return ended.load() >= 0; }, 20s));
  EXPECT_EQ(ended.load(), 0) << "ended by " << std::strerror(ended.load());
  EXPECT_EQ(heard.size(), upload.size());
  EXPECT_TRUE(heard == upload) << "the upload arrived altered";
  EXPECT_TRUE(JudgedFailed(EntryFor(server.port())));
}

// The pool's owner (the window) makes no change until released, as during
// a long import.
class BusyOwner : public PoolOwner {
 public:
  bool OnOwnerThread() const override { return false; }
  bool RunThere(const std::function<void()>& change) override {
    std::unique_lock lock(mutex_);
    released_.wait(lock, [&] { return free_; });
    lock.unlock();
    change();
    return true;
  }
  bool Post(std::function<void()> change) override {
    {
      std::lock_guard lock(mutex_);
      if (!free_) {
        posted_.push_back(std::move(change));
        return true;
      }
    }
    // The relay may post only after the release (a loaded machine): it runs then.
    change();
    return true;
  }
  void Release() {
    std::vector<std::function<void()>> posted;
    {
      std::lock_guard lock(mutex_);
      free_ = true;
      posted.swap(posted_);
    }
    released_.notify_all();
    for (const auto& change : posted) change();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool free_ = false;
  std::vector<std::function<void()>> posted_;
};

TEST_F(RelayFaultTest, AProxysResetReachesItsClientAtOnceWhileThePoolsOwnerIsBusy) {
  Relayed r;
  ASSERT_NO_FATAL_FAILURE(OpenRelayed(r, "ping"));
  auto owner = std::make_shared<BusyOwner>();
  pool_.SetOwner(owner);
  struct Restore {
    ProxyPool& pool;
    BusyOwner& owner;
    ~Restore() {
      owner.Release();
      pool.SetOwner(nullptr);
    }
  } restore{pool_, *owner};
  ASSERT_TRUE(SendText(r.far, "pong"));
  ASSERT_EQ(ReceiveExactly(r.client, 4), "pong");
  r.far.CloseWithReset();
  pollfd p{r.client.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 1000), 1) << "the reset waited for the pool's owner";
  char byte;
  EXPECT_EQ(::recv(r.client.fd(), &byte, 1, 0), -1);
  EXPECT_EQ(errno, ECONNRESET);
  EXPECT_FALSE(pool_.ContainsProxyEntry(lstFailed, r.entry)) << "the verdict went around the owner";
  owner->Release();
  EXPECT_TRUE(JudgedFailed(r.entry));
  CloseAndExpectRecovered(r);
}

// An IRC server's last lines before it closes the link, while the client is
// still answering and reading at its own pace: all of them arrive.
TEST_F(RelayFaultTest, TheUpstreamsLastBytesArriveWhileTheClientStillSends) {
  const std::string farewell = PatternText(300'000, 3);
  LoopbackServer server([&](int fd) {
    char buf[4096];
    if (::recv(fd, buf, sizeof buf, 0) <= 0) return;
    SendAll(fd, farewell.data(), farewell.size());
    ::shutdown(fd, SHUT_WR);
    while (::recv(fd, buf, sizeof buf, 0) > 0) {
    }
  });
  UseUpstream(server.port());
  TestSocket client = ConnectLoopback(relayPort_);
  ASSERT_TRUE(client);
  std::atomic<bool> heardTheEnd{false};
  std::thread answering([&] {
    while (!heardTheEnd && SendText(client, "PONG :irc.example\r\n")) std::this_thread::sleep_for(2ms);
  });
  std::string got;
  char buf[4096];
  for (ssize_t n; (n = ::recv(client.fd(), buf, sizeof buf, 0)) > 0; std::this_thread::sleep_for(1ms)) {
    got.append(buf, static_cast<std::size_t>(n));
  }
  heardTheEnd = true;
  answering.join();
  EXPECT_EQ(got.size(), farewell.size());
  EXPECT_TRUE(got == farewell) << "the last lines came altered";
  client.Close();
  EXPECT_TRUE(JudgedFailed(EntryFor(server.port())));
}

TEST_F(RelayFaultTest, RefusingUpstreamClosesTheClientAndRotatesToAnotherProxy) {
  {
    // Bound but not listening: every connection to it is refused, and no other
    // socket can take the port meanwhile.
    RefusingPort refusing;
    const std::string entry = EntryFor(refusing.port());
    std::uint16_t otherPort = 0;
    TestSocket other = ListenLoopback(otherPort);
    const std::string otherEntry = EntryFor(otherPort);
    pool_.AddProxyEntry(lstAll, entry);
    pool_.AddProxyEntry(lstAll, otherEntry);
    pool_.AddProxyEntry(lstFailed, entry);
    UseUpstream(refusing.port());

    TestSocket client = ConnectLoopback(relayPort_);
    ASSERT_TRUE(client);
    EXPECT_EQ(ReceiveExactly(client, 1), "") << "bytes from nowhere";
    EXPECT_TRUE(ClosedWithin(client));
    EXPECT_TRUE(JudgedFailed(entry));
    // The only proxy left to pick from.
    EXPECT_TRUE(WaitUntil(
        [&] {
          return pool_.CurrentUpstream() == Upstream{"127.0.0.1", otherPort};
        },
        kPatience));
    EXPECT_EQ(pool_.Entries(lstAll), std::vector<std::string>{otherEntry});
  }  // the test's own sockets close here
  ExpectAllReleased();
}

// The relay cuts every write into 512-byte sends. Left to Nagle's rule, each
// send after the first waits for the peer's acknowledgement, which the peer
// delays by up to 40 ms: a request of a few kilobytes then stalls in the relay
// on every exchange.
TEST_F(RelayFaultTest, MessagesLongerThanOneChunkAreNotHeldBack) {
  PollingEchoServer echo;
  UseUpstream(echo.port());
  TestSocket client = ConnectLoopback(relayPort_);
  ASSERT_TRUE(client);
  constexpr int kExchanges = 20;
  const std::string message(3000, 'm');
  const auto start = Clock::now();
  for (int i = 0; i < kExchanges; ++i) {
    ASSERT_TRUE(SendText(client, message));
    ASSERT_EQ(ReceiveExactly(client, message.size()), message);
  }
  const auto spent = Clock::now() - start;
  // Held back, the exchanges would take 20 x 40 ms at the least; going
  // straight through, well under a millisecond each.
  EXPECT_LT(spent, 400ms) << kExchanges << " exchanges took "
                          << std::chrono::duration_cast<std::chrono::milliseconds>(spent).count() << " ms";
  client.Close();
}

// Lowers the soft limit of open descriptors for its lifetime.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t soft) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    ok_ = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
  }
  ~DescriptorLimit() { Lift(); }
  bool ok() const { return ok_; }
  void Lift() {
    if (ok_) ::setrlimit(RLIMIT_NOFILE, &saved_);
    ok_ = false;
  }

 private:
  rlimit saved_{};
  bool ok_ = false;
};

int HighestOpenDescriptor();

// New descriptors take the lowest free numbers, so a limit just above the
// highest open one leaves room in every gap below it. These fill the gaps.
std::vector<TestSocket> FillDescriptorGaps() {
  std::vector<TestSocket> fillers;
  const int highest = HighestOpenDescriptor();
  for (;;) {
    TestSocket filler(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!filler || filler.fd() > highest) break;
    fillers.push_back(std::move(filler));
  }
  return fillers;
}

int HighestOpenDescriptor() {
  int highest = -1;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (dirent* e = ::readdir(dir)) {
      const int fd = std::atoi(e->d_name);
      if (e->d_name[0] != '.' && fd != ::dirfd(dir)) highest = std::max(highest, fd);
    }
    ::closedir(dir);
  }
  return highest;
}

TEST_F(RelayFaultTest, RunningOutOfDescriptorsInABurstStopsNothingForGood) {
  if (kUnderSanitizer) GTEST_SKIP() << "sanitizers cannot run without free descriptors";
  constexpr int kBurst = 24;
  PollingEchoServer echo;
  const std::string entry = EntryFor(echo.port());
  pool_.AddProxyEntry(lstAll, entry);
  UseUpstream(echo.port());
  baseline_ = CurrentUsage();

  // Every client socket exists before the limit drops, so that only the relay
  // and the upstream run short.
  std::vector<TestSocket> clients;
  for (int i = 0; i < kBurst; ++i) {
    clients.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    ASSERT_TRUE(clients.back());
  }
  std::vector<TestSocket> fillers = FillDescriptorGaps();
  int acceptedMeanwhile = 0;
  {
    // Not one descriptor to spare. The accept loop, blocked in accept, still
    // holds the slot the kernel set aside for it before the limit dropped: a
    // client that lands there finds no descriptor for its upstream and is
    // closed, the slot comes free, and so on about once per retry of the loop.
    // Whether any client meets that fate depends on timing; that none of them
    // reaches the upstream while the limit holds does not.
    DescriptorLimit limit(static_cast<rlim_t>(HighestOpenDescriptor() + 1));
    ASSERT_TRUE(limit.ok());
    for (TestSocket& c : clients) {
      sockaddr_in a = LoopbackAddress(relayPort_);
      const int rc = ::connect(c.fd(), reinterpret_cast<sockaddr*>(&a), sizeof a);
      ASSERT_TRUE(rc == 0 || errno == EINPROGRESS) << std::strerror(errno);
    }
    std::this_thread::sleep_for(300ms);
    acceptedMeanwhile = echo.Accepted();
  }
  fillers.clear();
  EXPECT_EQ(acceptedMeanwhile, 0) << "the limit did not bite";

  // Each client gets its echo (relayed once descriptors came back) or is
  // closed without a byte: none is left hanging. The listener's short backlog
  // turned some connects away for now; the kernel tries them again after a
  // second or three.
  const auto deadline = Clock::now() + 20s;
  int echoed = 0;
  int closed = 0;
  for (int i = 0; i < kBurst; ++i) {
    TestSocket& c = clients[static_cast<std::size_t>(i)];
    pollfd p{c.fd(), POLLOUT, 0};
    ASSERT_EQ(::poll(&p, 1, MillisLeft(deadline)), 1) << "client " << i << " never connected";
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(c.fd(), SOL_SOCKET, SO_ERROR, &error, &len);
    ASSERT_EQ(error, 0) << "client " << i << ": " << std::strerror(error);
    ::fcntl(c.fd(), F_SETFL, 0);
    const std::string token = "client-" + std::to_string(1000 + i);
    if (!SendText(c, token)) {
      ++closed;
      continue;
    }
    const std::string back = ReceiveExactly(c, token.size(), std::chrono::milliseconds(MillisLeft(deadline)));
    if (back == token) {
      ++echoed;
    } else {
      ASSERT_EQ(back, "") << "client " << i << " got bytes that were not its own";
      ASSERT_TRUE(ClosedWithin(c, std::chrono::milliseconds(MillisLeft(deadline))))
          << "client " << i << " hangs";
      ++closed;
    }
  }
  EXPECT_EQ(echoed + closed, kBurst);
  EXPECT_GE(echoed, 1) << "nothing was relayed after the shortage";
  // Every connection still open; those the relay had to let go were its own
  // shortage and not the proxy's fault.
  EXPECT_TRUE(pool_.ContainsProxyEntry(lstAll, entry));
  EXPECT_FALSE(pool_.ContainsProxyEntry(lstFailed, entry));

  // Relayed connections that end early are judged as ever.
  clients.clear();
  EXPECT_TRUE(JudgedFailed(entry));
  ExpectAllReleased();
  ExpectStillServing();
}

// Without a descriptor for the upstream socket the relay lets its client go
// and judges nothing: the proxy was never asked.
TEST_F(RelayFaultTest, NoDescriptorForTheUpstreamLeavesTheProxyAlone) {
  if (kUnderSanitizer) GTEST_SKIP() << "sanitizers cannot run without free descriptors";
  PollingEchoServer echo;
  const std::string entry = EntryFor(echo.port());
  pool_.AddProxyEntry(lstAll, entry);
  UseUpstream(echo.port());
  std::uint16_t port = 0;
  TestSocket listener = ListenLoopback(port);
  TestSocket client = ConnectLoopback(port);
  TestSocket served = AcceptWithin(listener);
  ASSERT_TRUE(client && served);
  {
    std::vector<TestSocket> fillers = FillDescriptorGaps();
    DescriptorLimit limit(static_cast<rlim_t>(HighestOpenDescriptor() + 1));
    ASSERT_TRUE(limit.ok());
    const RelayClock clock = [] { return Clock::now(); };
    RelayConnection(Socket(served.fd()), pool_, clock);
  }
  EXPECT_EQ(echo.Accepted(), 0);
  EXPECT_EQ(pool_.Entries(lstAll), std::vector<std::string>{entry});
  EXPECT_EQ(pool_.Count(lstFailed), 0u);
  EXPECT_EQ(pool_.Count(lstWorking), 0u);
  EXPECT_EQ(pool_.CurrentUpstream(), (Upstream{"127.0.0.1", echo.port()}));
}

}  // namespace
