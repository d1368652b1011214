// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The far end of every benchmark: one loopback server, one thread, epoll, so
// that it never is the slowest part of the road it measures. It prints its port
// on stdout and serves until it is killed.
//
// What a connection gets depends on its first byte:
//   'S' + 8-byte count (little-endian): sink; after the last byte one 'k' comes back.
//   'G' + 8-byte count: source; the server sends that many bytes.
//   anything else: echo, from that first byte on.
// The relays between a client and this server do not read the bytes, so one
// upstream serves every benchmark.
//
// Usage: peer [port]   (0 or nothing: the system picks one)

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::size_t kChunk = 256 * 1024;

enum class Mode { Unknown, Header, Sink, Source, Echo, Done };

struct Conn {
  int fd = -1;
  Mode mode = Mode::Unknown;
  char sinkOrSource = 0;
  unsigned char header[8] = {};
  std::size_t headerHave = 0;
  std::uint64_t remaining = 0;
  std::vector<char> pending;  // echo bytes read but not yet written
  std::size_t pendingOff = 0;
  bool wantOut = false;
};

void RaiseFileLimit() {
  rlimit lim{};
  if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);
  }
}

class Server {
 public:
  explicit Server(int listenFd) : listen_(listenFd), epoll_(epoll_create1(EPOLL_CLOEXEC)) {
    Watch(listen_, EPOLLIN);
  }

  [[noreturn]] void Run() {
    std::vector<epoll_event> events(1024);
    for (;;) {
      int n = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), -1);
      if (n < 0) {
        if (errno == EINTR) continue;
        std::perror("epoll_wait");
        std::exit(1);
      }
      for (int i = 0; i < n; ++i) {
        int fd = events[i].data.fd;
        if (fd == listen_) {
          AcceptAll();
          continue;
        }
        auto it = conns_.find(fd);
        if (it == conns_.end()) continue;
        Conn& c = *it->second;
        bool alive = true;
        if (events[i].events & (EPOLLOUT)) alive = Flush(c);
        if (alive && (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))) alive = Read(c);
        if (alive) alive = Flush(c);
        if (!alive) Drop(fd);
      }
    }
  }

 private:
  void Watch(int fd, std::uint32_t ev) {
    epoll_event e{};
    e.events = ev;
    e.data.fd = fd;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
  }
  void Rewatch(Conn& c, bool out) {
    if (c.wantOut == out) return;
    c.wantOut = out;
    epoll_event e{};
    // While output is stuck, stop reading: the client's own back-pressure.
    e.events = out ? EPOLLOUT : EPOLLIN;
    e.data.fd = c.fd;
    epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &e);
  }

  void AcceptAll() {
    for (;;) {
      int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;  // EAGAIN, or out of descriptors: the next wake-up tries again
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto c = std::make_unique<Conn>();
      c->fd = fd;
      Watch(fd, EPOLLIN);
      conns_.emplace(fd, std::move(c));
    }
  }

  void Drop(int fd) {
    close(fd);  // also leaves the epoll set
    conns_.erase(fd);
  }

  // False when the connection is over.
  bool Read(Conn& c) {
    static char buf[kChunk];
    for (;;) {
      if (c.mode == Mode::Source || (c.mode == Mode::Echo && !c.pending.empty())) return true;
      ssize_t n = recv(c.fd, buf, sizeof buf, 0);
      if (n == 0) return false;
      if (n < 0) return errno == EAGAIN || errno == EINTR;
      std::size_t off = 0;
      std::size_t len = static_cast<std::size_t>(n);
      if (c.mode == Mode::Unknown) {
        if (buf[0] == 'S' || buf[0] == 'G') {
          c.mode = Mode::Header;
          c.sinkOrSource = buf[0];
          off = 1;
        } else {
          c.mode = Mode::Echo;
        }
      }
      while (c.mode == Mode::Header && off < len) {
        c.header[c.headerHave++] = static_cast<unsigned char>(buf[off++]);
        if (c.headerHave == 8) {
          std::uint64_t count = 0;
          for (int b = 7; b >= 0; --b) count = (count << 8) | c.header[b];
          c.remaining = count;
          c.mode = c.sinkOrSource == 'S' ? Mode::Sink : Mode::Source;
          if (c.mode == Mode::Sink && count == 0) SinkDone(c);
        }
      }
      if (off == len) continue;
      switch (c.mode) {
        case Mode::Sink: {
          std::uint64_t take = std::min<std::uint64_t>(c.remaining, len - off);
          c.remaining -= take;
          if (c.remaining == 0) SinkDone(c);
          break;
        }
        case Mode::Echo:
          c.pending.assign(buf + off, buf + len);
          c.pendingOff = 0;
          return true;
        default:
          break;  // bytes after a finished sink, or sent to a source: ignored
      }
    }
  }

  void SinkDone(Conn& c) {
    c.mode = Mode::Done;
    c.pending.assign(1, 'k');
    c.pendingOff = 0;
  }

  bool Flush(Conn& c) {
    static char pattern[kChunk];
    static bool filled = false;
    if (!filled) {
      for (std::size_t i = 0; i < kChunk; ++i) pattern[i] = static_cast<char>('a' + i % 26);
      filled = true;
    }
    while (c.pendingOff < c.pending.size()) {
      ssize_t n = send(c.fd, c.pending.data() + c.pendingOff, c.pending.size() - c.pendingOff, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EAGAIN) {
          Rewatch(c, true);
          return true;
        }
        return errno == EINTR;
      }
      c.pendingOff += static_cast<std::size_t>(n);
    }
    c.pending.clear();
    c.pendingOff = 0;
    while (c.mode == Mode::Source && c.remaining > 0) {
      std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(c.remaining, kChunk));
      ssize_t n = send(c.fd, pattern, len, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EAGAIN) {
          Rewatch(c, true);
          return true;
        }
        return errno == EINTR;
      }
      c.remaining -= static_cast<std::uint64_t>(n);
    }
    if (c.mode == Mode::Source) c.mode = Mode::Done;
    Rewatch(c, false);
    return true;
  }

  int listen_;
  int epoll_;
  std::unordered_map<int, std::unique_ptr<Conn>> conns_;
};

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  RaiseFileLimit();
  int port = argc > 1 ? std::atoi(argv[1]) : 0;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 4096) != 0) {
    std::perror("peer: listen");
    return 1;
  }
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  std::printf("%d\n", ntohs(addr.sin_port));
  std::fflush(stdout);
  Server(fd).Run();
}
