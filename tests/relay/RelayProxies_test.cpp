// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Bytes through the relay: straight to a peer, and through real SOCKS5 and
// HTTP CONNECT proxies whose protocol the test's client speaks through it.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"
#include "support/ByteStreams.h"
#include "support/LoopbackSockets.h"
#include "support/RealProxies.h"
#include "support/RelayUnderTest.h"

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kUp = 3 * 1024 * 1024 + 77;   // client to target
constexpr std::size_t kDown = 4 * 1024 * 1024 + 5;  // target to client
constexpr std::uint8_t kUpSeed = 0x5A;
constexpr std::uint8_t kDownSeed = 0xC3;

// The far end: takes the client's stream and sends its own at the same time.
class PatternTarget {
 public:
  PatternTarget()
      : server_([this](int fd) {
          const StreamCheck check = ExchangePatterns(fd, kDownSeed, kDown, kUpSeed, kUp);
          ::shutdown(fd, SHUT_RDWR);
          std::lock_guard lock(mutex_);
          result_ = check;
        }) {}

  std::uint16_t port() const { return server_.port(); }
  std::optional<StreamCheck> Result() {
    std::lock_guard lock(mutex_);
    return result_;
  }

 private:
  std::mutex mutex_;
  std::optional<StreamCheck> result_;
  LoopbackServer server_;  // last: stopped before the members it reports to
};

void ExpectWhole(const StreamCheck& check, std::size_t size, std::uint8_t seed, const char* direction) {
  SCOPED_TRACE(direction);
  EXPECT_TRUE(check.sent);
  EXPECT_EQ(check.received, size);
  EXPECT_EQ(check.firstMismatch, SIZE_MAX) << "first wrong byte at offset " << check.firstMismatch;
  EXPECT_EQ(check.checksum, PatternChecksum(seed, size));
  EXPECT_TRUE(check.seenAllValues);
}

// Relays one client to `target` through the upstream at `upstreamPort`,
// whose `handshake` (if any) the client speaks first; then checks both
// streams and the verdict of the short connection.
void RelayStreams(PatternTarget& target, std::uint16_t upstreamPort,
                  const std::function<bool(int, std::uint16_t)>& handshake) {
  ProxyPool pool;
  pool.SetFieldText(edtHost, "127.0.0.1");
  pool.SetFieldText(edtPort, std::to_string(upstreamPort));
  pool.ApplyUpstream();
  RelayUnderTest relay(MakeRelayHandler(pool, [] { return std::chrono::steady_clock::now(); }));

  {
    TestSocket client = ConnectLoopback(relay.port());
    ASSERT_TRUE(client);
    if (handshake) {
      ASSERT_TRUE(handshake(client.fd(), target.port()));
    }
    const StreamCheck down = ExchangePatterns(client.fd(), kUpSeed, kUp, kDownSeed, kDown);
    ExpectWhole(down, kDown, kDownSeed, "target to client");
  }
  ASSERT_TRUE(relay.WaitHandled(1, 20s));
  // The target reports once it has the whole stream or its end.
  std::optional<StreamCheck> up;
  for (int i = 0; i < 400 && !(up = target.Result()); ++i) std::this_thread::sleep_for(25ms);
  ASSERT_TRUE(up.has_value());
  ExpectWhole(*up, kUp, kUpSeed, "client to target");
  // Seconds, not half a minute: the proxy is judged failed.
  EXPECT_EQ(pool.Entries(lstFailed), std::vector<std::string>{"127.0.0.1:" + std::to_string(upstreamPort)});
}

TEST(RelayBytes, EveryByteValueBothWaysStraightToThePeer) {
  PatternTarget target;
  RelayStreams(target, target.port(), nullptr);
}

TEST(RelayBytes, EveryByteValueBothWaysThroughSocks5) {
  const std::string program = FindProgram("microsocks");
  ASSERT_FALSE(program.empty()) << "microsocks is missing: install the package microsocks (scripts/install-deps test)";
  const auto proxy = RealProxy::StartMicrosocks(program);
  ASSERT_TRUE(proxy) << "microsocks did not come up";
  PatternTarget target;
  RelayStreams(target, proxy->port(), Socks5Connect);
}

TEST(RelayBytes, EveryByteValueBothWaysThroughHttpConnect) {
  const std::string program = FindProgram("tinyproxy");
  ASSERT_FALSE(program.empty()) << "tinyproxy is missing: install the package tinyproxy (scripts/install-deps test)";
  PatternTarget target;  // first: tinyproxy is told the one port it may CONNECT to
  const auto proxy = RealProxy::StartTinyproxy(program, target.port());
  ASSERT_TRUE(proxy) << "tinyproxy did not come up";
  RelayStreams(target, proxy->port(), HttpConnect);
}

}  // namespace
