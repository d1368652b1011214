// The relay when its peers misbehave: resets on either side, an upstream that
// never answers or refuses, descriptors running out in the middle of a burst.
// Every case must end with the relay's sockets and threads gone, the proxy
// judged, and the relay still serving.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/ConnectionServer.h"
#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = 5s;

// The sanitizers' runtimes need descriptors of their own to report anything,
// so a process without a free one trips them into false alarms.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds time = kPatience) {
  const auto deadline = Clock::now() + time;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(5ms);
  }
}

int MillisLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Descriptors and threads of this process: what the relay must give back.
struct Usage {
  int descriptors = 0;
  int threads = 0;
  friend bool operator==(const Usage&, const Usage&) = default;
};

Usage CurrentUsage() {
  Usage u;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (dirent* e = ::readdir(dir)) {
      if (e->d_name[0] != '.') ++u.descriptors;
    }
    ::closedir(dir);
    --u.descriptors;  // the directory's own
  }
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Threads:") status >> u.threads;
    status.ignore(1 << 16, '\n');
  }
  return u;
}

std::ostream& operator<<(std::ostream& out, const Usage& u) {
  return out << u.descriptors << " descriptors, " << u.threads << " threads";
}

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    Reset();
    fd_ = std::exchange(other.fd_, -1);
    return *this;
  }
  ~Fd() { Reset(); }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Closing with a zero linger time sends a reset instead of an orderly end.
  void ResetConnection() {
    linger hard{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Reset();
  }

 private:
  int fd_ = -1;
};

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  return a;
}

int PortOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A socket bound to an ephemeral loopback port; listening unless asked not to,
// in which case connections to it are refused.
Fd BoundSocket(bool listening) {
  Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = LoopbackAddress(0);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fd();
  if (listening && ::listen(fd.get(), 64) != 0) return Fd();
  return fd;
}

Fd Connect(int port) {
  Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = LoopbackAddress(port);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fd();
  return fd;
}

Fd AcceptWithin(const Fd& listener, std::chrono::milliseconds time = kPatience) {
  pollfd p{listener.get(), POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(time.count())) != 1) return Fd();
  return Fd(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
}

bool SendText(const Fd& fd, const std::string& text) {
  return ::send(fd.get(), text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Exactly `count` bytes, or fewer when the peer ends or the time runs out.
std::string ReceiveExactly(const Fd& fd, std::size_t count, std::chrono::milliseconds time = kPatience) {
  const auto deadline = Clock::now() + time;
  std::string got;
  char buf[4096];
  while (got.size() < count) {
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, MillisLeft(deadline)) != 1) break;
    ssize_t n = ::recv(fd.get(), buf, std::min(sizeof buf, count - got.size()), 0);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

// The peer's end (orderly or by reset) arrives within the time; bytes before
// it are passed over.
bool ClosedWithin(const Fd& fd, std::chrono::milliseconds time = kPatience) {
  const auto deadline = Clock::now() + time;
  char buf[4096];
  for (;;) {
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, MillisLeft(deadline)) != 1) return false;
    ssize_t n = ::recv(fd.get(), buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
  }
}

std::string EntryFor(int port) {
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
    // of the process; it must be there before anything is counted.
    std::thread([] {}).join();
    beforeServer_ = CurrentUsage();
    listener_ = TcpServe(0, RelayHandler, false);
    ASSERT_TRUE(listener_);
    relayPort_ = LocalPort(listener_);
    ASSERT_GT(relayPort_, 0);
    baseline_ = CurrentUsage();
  }

  void TearDown() override {
    // Shutting the listening socket down ends the accept loop, which closes it.
    TcpShutdown(listener_);
    // The next test measures from a quiet process: the last connection's
    // threads and the listener wind down on their own.
    EXPECT_TRUE(WaitUntil([&] { return CurrentUsage() == beforeServer_; }))
        << "now " << CurrentUsage() << ", before the server " << beforeServer_;
    EmptyPool(pool_);
  }

  void UseUpstream(int port) {
    pool_.SetFieldText(edtHost, "127.0.0.1");
    pool_.SetFieldText(edtPort, std::to_string(port));
    pool_.ApplyUpstream();
  }

  // One verdict leaves the entry once in lstFailed. Verdicts that run at the
  // same time may each add it (their steps interleave), so after a burst only
  // its presence is certain.
  bool JudgedFailed(const std::string& entry, bool byOneVerdict = true) {
    return WaitUntil([&] {
      const int copies = CountOf(pool_.Entries(lstFailed), entry);
      return (byOneVerdict ? copies == 1 : copies >= 1) && !pool_.ContainsProxyEntry(lstAll, entry) &&
             !pool_.ContainsProxyEntry(lstWorking, entry);
    });
  }

  // Every socket and thread of the relayed connection is gone once the test's
  // own ends are closed.
  void ExpectAllReleased() {
    EXPECT_TRUE(WaitUntil([&] { return CurrentUsage() == baseline_; }))
        << "now " << CurrentUsage() << ", before " << baseline_;
  }

  // The relay still relays: a fresh connection to an echoing upstream.
  void ExpectStillServing() {
    Fd upstream = BoundSocket(true);
    ASSERT_TRUE(upstream);
    UseUpstream(PortOf(upstream.get()));
    Fd client = Connect(relayPort_);
    ASSERT_TRUE(client);
    ASSERT_TRUE(SendText(client, "still there?"));
    Fd far = AcceptWithin(upstream);
    ASSERT_TRUE(far);
    ASSERT_EQ(ReceiveExactly(far, 12), "still there?");
    ASSERT_TRUE(SendText(far, "yes"));
    EXPECT_EQ(ReceiveExactly(client, 3), "yes");
  }

  ProxyPool& pool_ = ThePool();
  Socket listener_;
  int relayPort_ = 0;
  Usage beforeServer_;
  Usage baseline_;
};

TEST_F(RelayFaultTest, UpstreamResetMidStreamClosesTheClientAndFailsTheProxy) {
  Fd upstream = BoundSocket(true);
  ASSERT_TRUE(upstream);
  const std::string entry = EntryFor(PortOf(upstream.get()));
  UseUpstream(PortOf(upstream.get()));
  pool_.AddProxyEntry(lstWorking, entry);  // a verdict must move it, not copy it

  Fd client = Connect(relayPort_);
  ASSERT_TRUE(client);
  ASSERT_TRUE(SendText(client, "ping"));
  Fd far = AcceptWithin(upstream);
  ASSERT_TRUE(far);
  ASSERT_EQ(ReceiveExactly(far, 4), "ping");
  ASSERT_TRUE(SendText(far, "pong"));
  ASSERT_EQ(ReceiveExactly(client, 4), "pong");

  far.ResetConnection();
  EXPECT_TRUE(ClosedWithin(client));
  EXPECT_TRUE(JudgedFailed(entry));

  client.Reset();
  upstream.Reset();
  ExpectAllReleased();
  ExpectStillServing();
}

TEST_F(RelayFaultTest, ClientResetMidStreamClosesTheUpstreamAndFailsTheProxy) {
  Fd upstream = BoundSocket(true);
  ASSERT_TRUE(upstream);
  const std::string entry = EntryFor(PortOf(upstream.get()));
  UseUpstream(PortOf(upstream.get()));

  Fd client = Connect(relayPort_);
  ASSERT_TRUE(client);
  ASSERT_TRUE(SendText(client, "half a request"));
  Fd far = AcceptWithin(upstream);
  ASSERT_TRUE(far);
  ASSERT_EQ(ReceiveExactly(far, 14), "half a request");
  // Bytes on their way to the client when it vanishes.
  ASSERT_TRUE(SendText(far, std::string(3000, 'r')));

  client.ResetConnection();
  EXPECT_TRUE(ClosedWithin(far));
  EXPECT_TRUE(JudgedFailed(entry));

  far.Reset();
  upstream.Reset();
  ExpectAllReleased();
  ExpectStillServing();
}

TEST_F(RelayFaultTest, SilentUpstreamIsLetGoWhenTheClientLeaves) {
  Fd upstream = BoundSocket(true);
  ASSERT_TRUE(upstream);
  const std::string entry = EntryFor(PortOf(upstream.get()));
  UseUpstream(PortOf(upstream.get()));

  Fd client = Connect(relayPort_);
  ASSERT_TRUE(client);
  ASSERT_TRUE(SendText(client, "hello?"));
  Fd far = AcceptWithin(upstream);
  ASSERT_TRUE(far);
  // The upstream never says a word; the client gives up.
  std::this_thread::sleep_for(50ms);
  client.Reset();

  EXPECT_TRUE(ClosedWithin(far)) << "the relay kept the silent upstream open after its client left";
  EXPECT_TRUE(JudgedFailed(entry));

  far.Reset();
  upstream.Reset();
  ExpectAllReleased();
  ExpectStillServing();
}

TEST_F(RelayFaultTest, RefusingUpstreamClosesTheClientAndRotatesToAnotherProxy) {
  // Bound but not listening: every connection to it is refused, and no other
  // socket can take the port meanwhile.
  Fd refusing = BoundSocket(false);
  ASSERT_TRUE(refusing);
  const std::string entry = EntryFor(PortOf(refusing.get()));
  Fd other = BoundSocket(true);
  ASSERT_TRUE(other);
  const std::string otherEntry = EntryFor(PortOf(other.get()));
  pool_.AddProxyEntry(lstAll, entry);
  pool_.AddProxyEntry(lstAll, otherEntry);
  pool_.AddProxyEntry(lstFailed, entry);
  UseUpstream(PortOf(refusing.get()));

  Fd client = Connect(relayPort_);
  ASSERT_TRUE(client);
  EXPECT_EQ(ReceiveExactly(client, 1), "") << "bytes from nowhere";
  EXPECT_TRUE(ClosedWithin(client));
  EXPECT_TRUE(JudgedFailed(entry));
  // The only proxy left to pick from.
  EXPECT_TRUE(WaitUntil([&] {
    return pool_.CurrentUpstream() == Upstream{"127.0.0.1", PortOf(other.get())};
  }));
  EXPECT_EQ(pool_.Entries(lstAll), std::vector<std::string>{otherEntry});

  client.Reset();
  refusing.Reset();
  other.Reset();
  ExpectAllReleased();
}

// An echoing upstream on its own thread that, like the relay, waits for
// descriptors to come back instead of giving up when they run out.
class EchoUpstream {
 public:
  EchoUpstream() : listener_(BoundSocket(true)) {
    ::fcntl(listener_.get(), F_SETFL, O_NONBLOCK);
    thread_ = std::thread([this] { Serve(); });
  }
  ~EchoUpstream() {
    stop_ = true;
    thread_.join();
  }
  int Port() const { return PortOf(listener_.get()); }
  int Accepted() const { return accepted_; }

 private:
  void Serve() {
    std::vector<Fd> conns;
    std::vector<pollfd> watch;
    char buf[4096];
    while (!stop_) {
      watch.assign(1, pollfd{listener_.get(), POLLIN, 0});
      for (const Fd& c : conns) watch.push_back(pollfd{c.get(), POLLIN, 0});
      if (::poll(watch.data(), watch.size(), 20) <= 0) continue;
      if (watch[0].revents & POLLIN) {
        int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
          conns.emplace_back(fd);
          ++accepted_;
        } else if (errno == EMFILE || errno == ENFILE) {
          std::this_thread::sleep_for(5ms);
        }
      }
      for (std::size_t i = 1; i < watch.size(); ++i) {
        if (!(watch[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        Fd& c = conns[i - 1];
        ssize_t n = ::recv(c.get(), buf, sizeof buf, 0);
        if (n <= 0 || ::send(c.get(), buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) c.Reset();
      }
      std::erase_if(conns, [](const Fd& c) { return !c; });
    }
  }

  Fd listener_;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

// The relay cuts every write into 512-byte sends. Left to Nagle's rule, each
// send after the first waits for the peer's acknowledgement, which the peer
// delays by up to 40 ms: a request of a few kilobytes then stalls in the relay
// on every exchange.
TEST_F(RelayFaultTest, MessagesLongerThanOneChunkAreNotHeldBack) {
  EchoUpstream echo;
  UseUpstream(echo.Port());
  Fd client = Connect(relayPort_);
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
  client.Reset();
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
std::vector<Fd> FillDescriptorGaps() {
  std::vector<Fd> fillers;
  const int highest = HighestOpenDescriptor();
  for (;;) {
    Fd filler(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!filler || filler.get() > highest) break;
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
  EchoUpstream echo;
  const std::string entry = EntryFor(echo.Port());
  UseUpstream(echo.Port());
  baseline_ = CurrentUsage();

  // Every client socket exists before the limit drops, so that only the relay
  // and the upstream run short.
  std::vector<Fd> clients;
  for (int i = 0; i < kBurst; ++i) {
    clients.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    ASSERT_TRUE(clients.back());
  }
  std::vector<Fd> fillers = FillDescriptorGaps();
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
    for (Fd& c : clients) {
      sockaddr_in a = LoopbackAddress(relayPort_);
      const int rc = ::connect(c.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
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
    Fd& c = clients[static_cast<std::size_t>(i)];
    pollfd p{c.get(), POLLOUT, 0};
    ASSERT_EQ(::poll(&p, 1, MillisLeft(deadline)), 1) << "client " << i << " never connected";
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(c.get(), SOL_SOCKET, SO_ERROR, &error, &len);
    ASSERT_EQ(error, 0) << "client " << i << ": " << std::strerror(error);
    ::fcntl(c.get(), F_SETFL, 0);
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

  clients.clear();
  EXPECT_TRUE(JudgedFailed(entry, /*byOneVerdict=*/false));
  ExpectAllReleased();
  ExpectStillServing();
}

}  // namespace
