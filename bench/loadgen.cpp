// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The client side of the benchmarks. Each command drives one measurement
// against a port on 127.0.0.1 (the peer itself, or a relay in front of it) and
// prints its figure as one number on stdout; details go to stderr.
//
//   loadgen freeport                      a port that was free a moment ago
//   loadgen wait PORT [MS]                until PORT accepts (exit 1 after MS, default 5000)
//   loadgen bulk up|down PORT MIB         one stream; MiB/s
//   loadgen pingpong PORT COUNT [SIZE]    TCP_NODELAY round trips; median microseconds
//   loadgen connrate PORT COUNT THREADS   connect, 1 byte there and back, close; connections/s
//   loadgen hold PORT COUNT PID           COUNT live echoed connections; PID's resident
//                                         bytes per connection, then its thread count
//   loadgen silent                        a port that drops every SYN (a full queue); prints
//                                         it and holds it until killed
//   loadgen burst PORT COUNT SECONDS      COUNT connects at once; how many were let go (end
//                                         of stream or reset) within SECONDS, and when the last
//
// Every failure is fatal (exit 1): a figure from a run that lost bytes is no figure.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "loadgen: %s: %s\n", what, std::strerror(errno));
  std::exit(1);
}

[[noreturn]] void FailPlain(const std::string& what) {
  std::fprintf(stderr, "loadgen: %s\n", what.c_str());
  std::exit(1);
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void RaiseFileLimit() {
  rlimit lim{};
  if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);
  }
}

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  return addr;
}

// -1 when the connection could not be made.
int TryConnect(int port, bool noDelay) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (noDelay) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  sockaddr_in addr = Loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int Connect(int port, bool noDelay) {
  int fd = TryConnect(port, noDelay);
  if (fd < 0) Fail("connect");
  return fd;
}

void SendAll(int fd, const void* data, std::size_t len) {
  auto p = static_cast<const char*>(data);
  while (len > 0) {
    ssize_t n = send(fd, p, len, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("send");
    }
    p += n;
    len -= static_cast<std::size_t>(n);
  }
}

void RecvAll(int fd, void* data, std::size_t len) {
  auto p = static_cast<char*>(data);
  while (len > 0) {
    ssize_t n = recv(fd, p, len, 0);
    if (n == 0) FailPlain("connection closed early");
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("recv");
    }
    p += n;
    len -= static_cast<std::size_t>(n);
  }
}

void SendCommand(int fd, char mode, std::uint64_t count) {
  unsigned char head[9];
  head[0] = static_cast<unsigned char>(mode);
  for (int i = 0; i < 8; ++i) head[1 + i] = static_cast<unsigned char>(count >> (8 * i));
  SendAll(fd, head, sizeof head);
}

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = Loopback(0);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) Fail("bind");
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

int CmdWait(int port, int ms) {
  auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < until) {
    int fd = TryConnect(port, false);
    if (fd >= 0) {
      close(fd);
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::fprintf(stderr, "loadgen: port %d did not open within %d ms\n", port, ms);
  return 1;
}

int CmdBulk(bool up, int port, std::uint64_t mib) {
  const std::uint64_t total = mib << 20;
  std::vector<char> buf(256 * 1024, 'b');
  int fd = Connect(port, false);
  auto start = Clock::now();
  if (up) {
    SendCommand(fd, 'S', total);
    for (std::uint64_t left = total; left > 0;) {
      std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
      SendAll(fd, buf.data(), len);
      left -= len;
    }
    char ack = 0;
    RecvAll(fd, &ack, 1);
    if (ack != 'k') FailPlain("bad acknowledgement from the sink");
  } else {
    SendCommand(fd, 'G', total);
    for (std::uint64_t left = total; left > 0;) {
      ssize_t n =
          recv(fd, buf.data(), static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size())), 0);
      if (n == 0) FailPlain("source stream ended early");
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("recv");
      }
      left -= static_cast<std::uint64_t>(n);
    }
  }
  double secs = Seconds(Clock::now() - start);
  close(fd);
  std::printf("%.1f\n", static_cast<double>(mib) / secs);
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int CmdPingPong(int port, int count, int size) {
  const int warmUp = std::max(10, count / 100);
  std::vector<char> out(static_cast<std::size_t>(size)), in(out.size());
  int fd = Connect(port, true);
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < warmUp + count; ++i) {
    // Never 'S' or 'G' in front: the peer echoes anything else.
    for (int j = 0; j < size; ++j) out[static_cast<std::size_t>(j)] = static_cast<char>('0' + (i + j) % 10);
    auto t0 = Clock::now();
    SendAll(fd, out.data(), out.size());
    RecvAll(fd, in.data(), in.size());
    auto t1 = Clock::now();
    if (in != out) FailPlain("ping-pong echo differs");
    if (i >= warmUp) micros.push_back(Seconds(t1 - t0) * 1e6);
  }
  close(fd);
  std::vector<double> sorted = micros;
  std::sort(sorted.begin(), sorted.end());
  std::fprintf(stderr, "pingpong: median %.1f us, p99 %.1f us\n", sorted[sorted.size() / 2],
               sorted[sorted.size() * 99 / 100]);
  std::printf("%.2f\n", Median(micros));
  return 0;
}

int CmdConnRate(int port, int count, int threads) {
  std::atomic<int> next{0};
  std::atomic<int> failures{0};
  auto worker = [&] {
    for (;;) {
      int i = next.fetch_add(1);
      if (i >= count) return;
      int fd = TryConnect(port, true);
      if (fd < 0) {
        failures.fetch_add(1);
        continue;
      }
      char b = static_cast<char>('a' + i % 26);
      char back = 0;
      if (send(fd, &b, 1, MSG_NOSIGNAL) != 1 || recv(fd, &back, 1, 0) != 1 || back != b)
        failures.fetch_add(1);
      close(fd);
    }
  };
  auto start = Clock::now();
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back(worker);
  for (auto& t : pool) t.join();
  double secs = Seconds(Clock::now() - start);
  if (failures.load() != 0) FailPlain(std::to_string(failures.load()) + " connections failed");
  std::printf("%.0f\n", count / secs);
  return 0;
}

// VmRSS in bytes and the thread count of a process, from /proc.
struct ProcStatus {
  long rssBytes = -1;
  long threads = -1;
};

ProcStatus ReadStatus(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  ProcStatus st;
  std::string key;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> st.rssBytes;
      st.rssBytes *= 1024;
    } else if (key == "Threads:") {
      in >> st.threads;
    }
    in.ignore(1 << 20, '\n');
  }
  if (st.rssBytes < 0 || st.threads < 0) FailPlain("cannot read /proc/" + std::to_string(pid) + "/status");
  return st;
}

// Each connection's own bytes: its index in letters 'a' to 'p', one per hex
// digit, repeated (never 'S' or 'G', which would ask the peer for another mode).
void Token(int index, char* out, std::size_t len) {
  auto u = static_cast<unsigned>(index);
  for (std::size_t j = 0; j < len; ++j) out[j] = static_cast<char>('a' + ((u >> (4 * (j % 8))) & 15u));
}

int CmdHold(int port, int count, int pid) {
  ProcStatus before = ReadStatus(pid);
  std::vector<int> fds;
  fds.reserve(static_cast<std::size_t>(count));
  char out[64], in[64];
  // One at a time: an answered echo proves the relay has both of its threads up
  // and that the listener's short backlog never overflows.
  for (int i = 0; i < count; ++i) {
    int fd = Connect(port, true);
    Token(i, out, 8);
    SendAll(fd, out, 8);
    RecvAll(fd, in, 8);
    if (std::memcmp(in, out, 8) != 0) FailPlain("echo differs while opening");
    fds.push_back(fd);
  }
  // All open at once: every one must still carry its own bytes.
  for (int i = 0; i < count; ++i) {
    Token(i + count, out, sizeof out);
    SendAll(fds[static_cast<std::size_t>(i)], out, sizeof out);
  }
  int wrong = 0;
  for (int i = 0; i < count; ++i) {
    Token(i + count, out, sizeof out);
    RecvAll(fds[static_cast<std::size_t>(i)], in, sizeof in);
    if (std::memcmp(in, out, sizeof out) != 0) ++wrong;
  }
  ProcStatus with = ReadStatus(pid);
  if (wrong != 0) FailPlain(std::to_string(wrong) + " connections echoed bytes that were not theirs");
  for (int fd : fds) close(fd);
  // The relay must let go of its threads again; give it a few seconds.
  ProcStatus after = ReadStatus(pid);
  for (int i = 0; i < 500 && after.threads > before.threads; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    after = ReadStatus(pid);
  }
  std::fprintf(stderr, "hold: rss %ld -> %ld KiB, threads %ld -> %ld -> %ld\n", before.rssBytes / 1024,
               with.rssBytes / 1024, before.threads, with.threads, after.threads);
  if (after.threads > before.threads) FailPlain("threads left behind after every connection closed");
  std::printf("%.1f %ld\n", static_cast<double>(with.rssBytes - before.rssBytes) / count / 1024.0,
              with.threads);
  return 0;
}

// A listener with a one-place queue, that place taken: the kernel drops every
// further SYN, as a dead host's address does.
int CmdSilent() {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 0) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    Fail("silent listener");
  std::vector<int> queued;
  for (int i = 0; i < 8; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    pollfd p{fd, POLLOUT, 0};
    queued.push_back(fd);
    if (poll(&p, 1, 300) == 0) break;  // this one hangs: the queue is full
  }
  std::printf("%d\n", ntohs(a.sin_port));
  std::fflush(stdout);
  for (;;) pause();
}

int CmdBurst(int port, int count, int seconds) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<pollfd> waiting;
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) Fail("socket");
    connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    waiting.push_back({fd, POLLIN, 0});
  }
  const auto deadline = start + std::chrono::seconds(seconds);
  int letGo = 0;
  double last = 0;
  while (!waiting.empty() && Clock::now() < deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (poll(waiting.data(), waiting.size(), static_cast<int>(std::max<long>(left, 1))) <= 0) continue;
    for (std::size_t i = 0; i < waiting.size();) {
      char byte;
      const ssize_t n = waiting[i].revents != 0 ? recv(waiting[i].fd, &byte, 1, MSG_DONTWAIT) : 1;
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        close(waiting[i].fd);
        waiting[i] = waiting.back();
        waiting.pop_back();
        ++letGo;
        last = Seconds(Clock::now() - start);
        continue;
      }
      ++i;
    }
  }
  for (const pollfd& p : waiting) close(p.fd);
  std::printf("%d %.1f\n", letGo, last);
  return 0;
}

int Arg(char** argv, int i) {
  return std::atoi(argv[i]);
}

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: loadgen freeport | wait PORT [MS] | bulk up|down PORT MIB | pingpong PORT COUNT [SIZE]"
               " | connrate PORT COUNT THREADS | hold PORT COUNT PID | silent | burst PORT COUNT SECONDS\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  RaiseFileLimit();
  if (argc < 2) Usage();
  std::string cmd = argv[1];
  if (cmd == "freeport") {
    std::printf("%d\n", FreePort());
    return 0;
  }
  if (cmd == "wait" && argc >= 3) return CmdWait(Arg(argv, 2), argc > 3 ? Arg(argv, 3) : 5000);
  if (cmd == "bulk" && argc == 5) {
    std::string dir = argv[2];
    if (dir != "up" && dir != "down") Usage();
    return CmdBulk(dir == "up", Arg(argv, 3), static_cast<std::uint64_t>(std::atoll(argv[4])));
  }
  if (cmd == "pingpong" && argc >= 4)
    return CmdPingPong(Arg(argv, 2), Arg(argv, 3), argc > 4 ? Arg(argv, 4) : 64);
  if (cmd == "connrate" && argc == 5) return CmdConnRate(Arg(argv, 2), Arg(argv, 3), Arg(argv, 4));
  if (cmd == "hold" && argc == 5) return CmdHold(Arg(argv, 2), Arg(argv, 3), Arg(argv, 4));
  if (cmd == "silent" && argc == 2) return CmdSilent();
  if (cmd == "burst" && argc == 5) return CmdBurst(Arg(argv, 2), Arg(argv, 3), Arg(argv, 4));
  Usage();
}
