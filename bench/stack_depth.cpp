// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// How deep the relay's two threads go into their stacks: each body runs on a
// stack this program paints beforehand, and the deepest byte no longer painted
// is its use. Connections go to a loopback echo server by address and by name
// (the name lookup is the deepest path), and the figures are set beside the
// stack sizes the program gives its threads. Run it in a sanitizer build too.
//
//   stack_depth
#include <pthread.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "net/ConnectionServer.h"
#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"
#include "relay/UpstreamPump.h"
#include "relay/Verdict.h"

namespace {

constexpr std::size_t kPainted = 8u << 20;
constexpr unsigned char kPaint = 0xA5;

// Runs `body` on a painted stack of its own; the bytes it used.
std::size_t DepthOf(const std::function<void()>& body) {
  void* stack = ::mmap(nullptr, kPainted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (stack == MAP_FAILED) return 0;
  std::memset(stack, kPaint, kPainted);
  pthread_attr_t attributes;
  ::pthread_attr_init(&attributes);
  ::pthread_attr_setstack(&attributes, stack, kPainted);
  pthread_t id;
  auto* held = new std::function<void()>(body);
  ::pthread_create(
      &id, &attributes,
      [](void* raw) -> void* {
        std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(raw));
        (*run)();
        return nullptr;
      },
      held);
  ::pthread_join(id, nullptr);
  ::pthread_attr_destroy(&attributes);
  const auto* bytes = static_cast<const unsigned char*>(stack);
  std::size_t untouched = 0;
  while (untouched < kPainted && bytes[untouched] == kPaint) ++untouched;
  ::munmap(stack, kPainted);
  return kPainted - untouched;
}

// A loopback server that sends back what it gets, one connection at a time.
class Echo {
 public:
  Echo() : listener_(TcpListen(0)), port_(LocalPort(listener_)) {
    thread_ = std::thread([this] {
      for (;;) {
        const int fd = ::accept(listener_.fd, nullptr, nullptr);
        if (fd < 0) return;
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) ::send(fd, buffer, static_cast<std::size_t>(n), 0);
        ::close(fd);
      }
    });
  }
  ~Echo() {
    TcpShutdown(listener_);
    thread_.join();
    ::close(listener_.fd);
  }
  std::int32_t port() const { return port_; }

 private:
  Socket listener_;
  std::int32_t port_;
  std::thread thread_;
};

// A connected pair on loopback: the client's end and the accepted end.
struct Pair {
  OwnedSocket client;
  OwnedSocket served;
};

Pair Connected() {
  OwnedSocket listener(TcpListen(0));
  Pair pair;
  pair.client = OwnedSocket(TcpConnect("127.0.0.1", LocalPort(listener.Get())));
  pair.served = OwnedSocket(Socket(::accept(listener.Get().fd, nullptr, nullptr)));
  return pair;
}

// The relay handler on one connection through `host`, as the server runs it.
std::size_t HandlerDepth(const std::string& host, std::int32_t port) {
  ProxyPool pool;
  pool.SetFieldText(edtHost, host);
  pool.SetFieldText(edtPort, std::to_string(port));
  pool.ApplyUpstream();
  Pair pair = Connected();
  std::thread client([&] {
    const std::string message(2000, 'm');
    char back[2000];
    TcpSend(pair.client.Get(), message.data(), static_cast<int>(message.size()));
    int got = 0;
    while (got < 2000) {
      const int n = TcpReceive(pair.client.Get(), back + got, 2000 - got);
      if (n == 0) break;
      got += n;
    }
    ::shutdown(pair.client.Get().fd, SHUT_WR);
  });
  auto data = std::make_shared<std::unique_ptr<TData>>(std::make_unique<TData>());
  (*data)->socket = std::move(pair.served);
  (*data)->handler = MakeRelayHandler(pool, [] { return std::chrono::steady_clock::now(); });
  const std::size_t depth = DepthOf([data] { ConnectionThread(std::move(*data)); });
  client.join();
  return depth;
}

// The pump on one exchange of 64 KiB, then the upstream's end and the
// verdict it gives.
std::size_t PumpDepth(std::int32_t echoPort) {
  Pair pair = Connected();
  OwnedSocket upstream(TcpConnect("127.0.0.1", echoPort));
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, "127.0.0.1:1");
  RelayLink link(pair.served.Get(), upstream.Get(), [] { return std::chrono::steady_clock::now(); },
                 kHalfClosedSilence, [&pool](SteadyTime) { ApplyVerdict(pool, "127.0.0.1:1", Verdict::Failed); });
  std::thread client([&] {
    std::string message(65536, 'p');
    TcpSend(upstream.Get(), message.data(), static_cast<int>(message.size()));
  });
  std::thread reader([&] {
    char buffer[4096];
    int got = 0;
    while (got < 65536) {
      const int n = TcpReceive(pair.client.Get(), buffer, sizeof buffer);
      if (n == 0) break;
      got += n;
    }
    // The client's direction is over as the handler would have it; the
    // upstream's end then ends the pump.
    link.EndOfStream(RelaySide::Client);
    TcpShutdown(upstream.Get());
  });
  // The echo server answers the upstream socket; the pump carries that to the client.
  const std::size_t depth = DepthOf([&link] { UpstreamPump(link); });
  client.join();
  reader.join();
  return depth;
}

}  // namespace

int main() {
  StartSockets();
  Echo echo;
  const std::size_t byAddress = HandlerDepth("127.0.0.1", echo.port());
  const std::size_t byName = HandlerDepth("localhost", echo.port());
  const std::size_t unknownName = HandlerDepth("no-such-host.invalid", echo.port());
  const std::size_t pump = PumpDepth(echo.port());
  const std::size_t handler = std::max({byAddress, byName, unknownName});
  std::printf("deepest stack use%s\n", kStackScale > 1 ? " (sanitizer build)" : "");
  std::printf("  connection thread, upstream by address: %6.1f KiB\n", static_cast<double>(byAddress) / 1024);
  std::printf("  connection thread, upstream by name:    %6.1f KiB\n", static_cast<double>(byName) / 1024);
  std::printf("  connection thread, unknown name:        %6.1f KiB\n", static_cast<double>(unknownName) / 1024);
  std::printf("  pump thread:                            %6.1f KiB\n", static_cast<double>(pump) / 1024);
  std::printf("stack given to every relay thread: %zu KiB (%.1fx the connection's deepest use, %.1fx the pump's)\n",
              kWorkStackBytes / 1024, static_cast<double>(kWorkStackBytes) / handler,
              static_cast<double>(kWorkStackBytes) / pump);
  return 0;
}
