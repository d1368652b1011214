// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Half a minute and more in real time, through a real SOCKS5 proxy, with the
// handler the program serves (the process pool, the monotonic clock).
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"
#include "support/LoopbackSockets.h"
#include "support/RealProxies.h"
#include "support/RelayUnderTest.h"

namespace {

using namespace std::chrono_literals;

TEST(RelayRealTime, ConnectionOutlivingTheDeadlineMarksTheProxyWorking) {
  const std::string program = FindProgram("microsocks");
  ASSERT_FALSE(program.empty()) << "microsocks is missing: install the package microsocks (scripts/install-deps test)";
  LoopbackServer echo(Echo);
  const auto proxy = RealProxy::StartMicrosocks(program);
  ASSERT_TRUE(proxy) << "microsocks did not come up";

  ProxyPool& pool = ThePool();
  const std::string entry = "127.0.0.1:" + std::to_string(proxy->port());
  pool.AddProxyEntry(lstAll, entry);
  pool.AddProxyEntry(lstFailed, entry);  // an earlier failure, to be undone
  pool.SetFieldText(edtHost, "127.0.0.1");
  pool.SetFieldText(edtPort, std::to_string(proxy->port()));
  pool.ApplyUpstream();
  RelayUnderTest relay(RelayHandler);

  {
    TestSocket client = ConnectLoopback(relay.port());
    ASSERT_TRUE(client);
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_TRUE(Socks5Connect(client.fd(), echo.port()));
    // Keep talking now and then, as an idle IRC client would, past the deadline.
    int tick = 0;
    while (std::chrono::steady_clock::now() - opened < 31s) {
      const std::string word = "tick" + std::to_string(tick++);
      std::string echoed(word.size(), '\0');
      ASSERT_TRUE(SendAll(client.fd(), word.data(), word.size()));
      ASSERT_TRUE(ReceiveExact(client.fd(), echoed.data(), echoed.size()));
      ASSERT_EQ(echoed, word);
      std::this_thread::sleep_for(2s);
    }
    EXPECT_EQ(pool.Count(lstWorking), 0u);  // judged only at the end
    ::shutdown(client.fd(), SHUT_WR);
    EXPECT_TRUE(ReceivesEndOfStream(client.fd(), 5000ms));
  }
  ASSERT_TRUE(relay.WaitHandled(1, 10s));
  EXPECT_EQ(pool.Entries(lstWorking), std::vector<std::string>{entry});
  EXPECT_FALSE(pool.ContainsProxyEntry(lstFailed, entry));
  EXPECT_TRUE(pool.ContainsProxyEntry(lstAll, entry));
  EXPECT_EQ(pool.CurrentUpstream().port, proxy->port());
}

// The real limit, as the program serves it: a client of a silent proxy waits
// 21 s, not the two minutes of Linux's own SYN retries, and the proxy fails.
TEST(RelayRealTime, SilentProxyIsGivenUpAfter21Seconds) {
  SilentPort silent;
  ProxyPool& pool = ThePool();
  const std::string entry = "127.0.0.1:" + std::to_string(silent.port());
  pool.AddProxyEntry(lstAll, entry);
  pool.SetFieldText(edtHost, "127.0.0.1");
  pool.SetFieldText(edtPort, std::to_string(silent.port()));
  pool.ApplyUpstream();
  RelayUnderTest relay(RelayHandler);

  TestSocket client = ConnectLoopback(relay.port());
  ASSERT_TRUE(client);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ReceivesEndOfStream(client.fd(), 25s));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 20900ms);
  EXPECT_LT(waited, 23s);
  ASSERT_TRUE(relay.WaitHandled(1, 5s));
  EXPECT_FALSE(pool.ContainsProxyEntry(lstAll, entry));
  EXPECT_TRUE(pool.ContainsProxyEntry(lstFailed, entry));
}

}  // namespace
