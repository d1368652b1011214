// A long run of short relayed connections through real SOCKS5 proxies
// (microsocks), in bursts, with every verdict and random pick happening as in
// the program. Afterwards every byte must have come back unchanged and the
// relay must hold no more descriptors or threads than before it began.
//
// QUILL_SOAK_CONNECTIONS sets the number of connections (default 20000).
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/ConnectionServer.h"
#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kProxies = 3;
// The relay listens with a backlog of 5: more connects at once than that
// overflow its queue, and each of those waits a second for the SYN to be sent
// again. Four clients keep the bursts dense without measuring that.
constexpr int kClientThreads = 4;
constexpr int kBurst = 250;
// Up to two relay chunks. microsocks itself copies through a small buffer
// without TCP_NODELAY, so longer payloads would mostly time its own stalls.
constexpr int kLongestPayload = 1024;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds time) {
  const auto deadline = Clock::now() + time;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(10ms);
  }
}

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
    --u.descriptors;
  }
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Threads:") status >> u.threads;
    status.ignore(1 << 16, '\n');
  }
  return u;
}

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

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = LoopbackAddress(0);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int port = PortOf(fd);
  ::close(fd);
  return port;
}

bool Connectable(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = LoopbackAddress(port);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

// One microsocks on a loopback port, ended with the object.
class Microsocks {
 public:
  Microsocks() {
    for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt) {
      const int port = FreePort();
      const std::string portText = std::to_string(port);
      const char* argv[] = {"microsocks", "-i", "127.0.0.1", "-p", portText.c_str(), nullptr};
      // It reports every client on stdout; the test's output is no place for that.
      posix_spawn_file_actions_t quiet;
      ::posix_spawn_file_actions_init(&quiet);
      ::posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
      ::posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
      pid_t pid = 0;
      const int spawned =
          ::posix_spawnp(&pid, "microsocks", &quiet, nullptr, const_cast<char**>(argv), environ);
      ::posix_spawn_file_actions_destroy(&quiet);
      if (spawned != 0) return;
      const bool up =
          WaitUntil([&] { return ::waitpid(pid, nullptr, WNOHANG) == 0 && Connectable(port); }, 3000ms);
      if (up) {
        pid_ = pid;
        port_ = port;
      } else {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
      }
    }
  }
  ~Microsocks() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Microsocks(const Microsocks&) = delete;
  Microsocks& operator=(const Microsocks&) = delete;
  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// The destination behind the proxies: echoes every connection, on one thread.
class EchoServer {
 public:
  EchoServer() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
    sockaddr_in a = LoopbackAddress(0);
    ok_ = ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listener_, 512) == 0;
    thread_ = std::thread([this] { Serve(); });
  }
  ~EchoServer() {
    stop_ = true;
    thread_.join();
    for (const pollfd& p : conns_) ::close(p.fd);
    ::close(listener_);
  }
  bool Ok() const { return ok_; }
  int Port() const { return PortOf(listener_); }

 private:
  void Serve() {
    std::vector<pollfd> watch;
    char buf[16384];
    while (!stop_) {
      watch.assign(1, pollfd{listener_, POLLIN, 0});
      watch.insert(watch.end(), conns_.begin(), conns_.end());
      if (::poll(watch.data(), watch.size(), 20) <= 0) continue;
      for (std::size_t i = 1; i < watch.size(); ++i) {
        if (!(watch[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const int fd = watch[i].fd;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        // The payloads are small, so a blocking send of what came in is fine.
        if (n <= 0 || ::send(fd, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) {
          ::close(fd);
          std::erase_if(conns_, [fd](const pollfd& p) { return p.fd == fd; });
        }
      }
      if (watch[0].revents & POLLIN) {
        for (;;) {
          const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
          if (fd < 0) break;
          // It echoes each piece as it comes; Nagle's rule would hold the
          // second piece back until the first is acknowledged.
          const int on = 1;
          ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
          conns_.push_back(pollfd{fd, POLLIN, 0});
        }
      }
    }
  }

  int listener_;
  bool ok_ = false;
  std::vector<pollfd> conns_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

bool SendAll(int fd, const void* data, std::size_t len) {
  auto p = static_cast<const char*>(data);
  while (len > 0) {
    const ssize_t n = ::send(fd, p, len, MSG_NOSIGNAL);
    if (n <= 0) return false;
    p += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

bool RecvAll(int fd, void* data, std::size_t len) {
  auto p = static_cast<char*>(data);
  while (len > 0) {
    const ssize_t n = ::recv(fd, p, len, 0);
    if (n <= 0) return false;
    p += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

// What went wrong on one connection, or "" when every byte came back.
std::string OneConnection(int relayPort, int echoPort, const std::vector<unsigned char>& payload) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "socket";
  // A hang must fail the run, not stall it.
  timeval patience{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
  std::string failure;
  sockaddr_in relay = LoopbackAddress(relayPort);
  const unsigned char greeting[] = {5, 1, 0};
  const unsigned char request[] = {5,
                                   1,
                                   0,
                                   1,
                                   127,
                                   0,
                                   0,
                                   1,
                                   static_cast<unsigned char>(echoPort >> 8),
                                   static_cast<unsigned char>(echoPort & 255)};
  unsigned char choice[2] = {};
  unsigned char reply[10] = {};
  std::vector<unsigned char> back(payload.size());
  if (::connect(fd, reinterpret_cast<sockaddr*>(&relay), sizeof relay) != 0) {
    failure = "connect to the relay";
  } else if (!SendAll(fd, greeting, sizeof greeting) || !RecvAll(fd, choice, 2) || choice[0] != 5 ||
             choice[1] != 0) {
    failure = "SOCKS greeting";
  } else if (!SendAll(fd, request, sizeof request) || !RecvAll(fd, reply, sizeof reply) || reply[1] != 0) {
    failure = "SOCKS connect";
  } else if (!SendAll(fd, payload.data(), payload.size()) || !RecvAll(fd, back.data(), back.size())) {
    failure = "payload cut short";
  } else if (back != payload) {
    failure = "payload changed";
  }
  ::close(fd);
  return failure;
}

int SoakConnections() {
  const char* text = std::getenv("QUILL_SOAK_CONNECTIONS");
  const int n = text != nullptr ? std::atoi(text) : 0;
  return n > 0 ? n : 20000;
}

TEST(RelaySoak, ShortConnectionsThroughRotatingProxiesLoseNothingAndLeakNothing) {
  const int total = SoakConnections();
  ProxyPool& pool = ThePool();
  EchoServer echo;
  ASSERT_TRUE(echo.Ok());
  std::vector<std::unique_ptr<Microsocks>> proxies;
  std::vector<std::string> entries;
  for (int i = 0; i < kProxies; ++i) {
    proxies.push_back(std::make_unique<Microsocks>());
    ASSERT_TRUE(proxies.back()->Running()) << "microsocks could not be started (scripts/install-deps)";
    entries.push_back("127.0.0.1:" + std::to_string(proxies.back()->Port()));
    pool.AddProxyEntry(lstAll, entries.back());
  }
  pool.SelectRandomProxy();

  const Socket listener = TcpServe(0, RelayHandler, false);
  ASSERT_TRUE(listener);
  const int relayPort = LocalPort(listener);
  const Usage before = CurrentUsage();

  std::atomic<int> next{0};
  std::atomic<long long> bytesBack{0};
  std::mutex failuresMutex;
  std::vector<std::string> failures;
  std::set<int> upstreamsSeen;
  long long bytesSent = 0;
  const auto start = Clock::now();

  for (int burstStart = 0; burstStart < total; burstStart += kBurst) {
    // Failed verdicts empty lstAll quickly; putting the proxies back, as a new
    // import would, keeps the random rotation going in every burst.
    for (const std::string& e : entries) {
      if (!pool.ContainsProxyEntry(lstAll, e)) pool.AddProxyEntry(lstAll, e);
    }
    const int burstEnd = std::min(total, burstStart + kBurst);
    next = burstStart;
    std::vector<std::thread> clients;
    std::vector<long long> sentBy(kClientThreads, 0);
    std::vector<std::set<int>> seenBy(kClientThreads);
    for (int t = 0; t < kClientThreads; ++t) {
      clients.emplace_back([&, t] {
        std::mt19937 random(static_cast<unsigned>(burstStart * 31 + t));
        std::uniform_int_distribution<int> size(1, kLongestPayload);
        std::uniform_int_distribution<int> byte(0, 255);
        for (int i = next.fetch_add(1); i < burstEnd; i = next.fetch_add(1)) {
          std::vector<unsigned char> payload(static_cast<std::size_t>(size(random)));
          for (auto& b : payload) b = static_cast<unsigned char>(byte(random));
          seenBy[static_cast<std::size_t>(t)].insert(pool.CurrentUpstream().port);
          const std::string failure = OneConnection(relayPort, echo.Port(), payload);
          sentBy[static_cast<std::size_t>(t)] += static_cast<long long>(payload.size());
          if (failure.empty()) {
            bytesBack += static_cast<long long>(payload.size());
          } else {
            std::lock_guard lock(failuresMutex);
            failures.push_back("connection " + std::to_string(i) + ": " + failure);
          }
        }
      });
    }
    for (auto& c : clients) c.join();
    for (int t = 0; t < kClientThreads; ++t) {
      bytesSent += sentBy[static_cast<std::size_t>(t)];
      upstreamsSeen.insert(seenBy[static_cast<std::size_t>(t)].begin(),
                           seenBy[static_cast<std::size_t>(t)].end());
    }
    ASSERT_LT(failures.size(), 20u) << "giving up; first failure: " << failures.front();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  EXPECT_TRUE(failures.empty()) << failures.size() << " connections failed, first: " << failures.front();
  EXPECT_EQ(bytesBack.load(), bytesSent);
  EXPECT_EQ(upstreamsSeen.size(), static_cast<std::size_t>(kProxies))
      << "the rotation did not reach every proxy";
  // Concurrent verdicts on one proxy may each add it (their steps interleave),
  // so only its presence is certain; no connection lived long enough to work.
  const std::vector<std::string> failed = pool.Entries(lstFailed);
  for (const std::string& e : entries) {
    EXPECT_NE(std::find(failed.begin(), failed.end(), e), failed.end()) << e << " was never judged";
    EXPECT_FALSE(pool.ContainsProxyEntry(lstWorking, e));
  }

  Usage after = CurrentUsage();
  EXPECT_TRUE(WaitUntil(
      [&] {
        after = CurrentUsage();
        return after == before;
      },
      10000ms))
      << "before: " << before.descriptors << " descriptors, " << before.threads
      << " threads; after: " << after.descriptors << " descriptors, " << after.threads << " threads";
  std::printf("soak: %d connections in %.1f s (%.0f/s), %lld bytes echoed\n", total, seconds, total / seconds,
              bytesBack.load());

  TcpShutdown(listener);
}

}  // namespace
