// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A long run of short relayed connections through real SOCKS5 proxies
// (microsocks), in bursts, with every verdict and random pick happening as in
// the program. Afterwards every byte must have come back unchanged and the
// relay must hold no more descriptors or threads than before it began.
//
// QUILL_SOAK_CONNECTIONS sets the number of connections (default 20000).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/ConnectionServer.h"
#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"
#include "support/LoopbackSockets.h"
#include "support/PollingEchoServer.h"
#include "support/ProcessUsage.h"
#include "support/RealProxies.h"
#include "support/WaitUntil.h"

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

// What went wrong on one connection, or "" when every byte came back. The
// sockets' time-outs turn a hang into a failure instead of a stalled run.
std::string OneConnection(std::uint16_t relayPort, std::uint16_t echoPort,
                          const std::vector<unsigned char>& payload) {
  const TestSocket client = ConnectLoopback(relayPort);
  if (!client) return "connect to the relay";
  if (!Socks5Connect(client.fd(), echoPort)) return "SOCKS handshake";
  std::vector<unsigned char> back(payload.size());
  if (!SendAll(client.fd(), payload.data(), payload.size()) ||
      !ReceiveExact(client.fd(), back.data(), back.size())) {
    return "payload cut short";
  }
  if (back != payload) return "payload changed";
  return "";
}

int SoakConnections() {
  const char* text = std::getenv("QUILL_SOAK_CONNECTIONS");
  const int n = text != nullptr ? std::atoi(text) : 0;
  return n > 0 ? n : 20000;
}

TEST(RelaySoak, ShortConnectionsThroughRotatingProxiesLoseNothingAndLeakNothing) {
  const int total = SoakConnections();
  ProxyPool& pool = ThePool();
  const std::string microsocks = FindProgram("microsocks");
  ASSERT_FALSE(microsocks.empty()) << "microsocks is not installed (scripts/install-deps)";
  PollingEchoServer echo;
  std::vector<std::unique_ptr<RealProxy>> proxies;
  std::vector<std::string> entries;
  for (int i = 0; i < kProxies; ++i) {
    proxies.push_back(RealProxy::StartMicrosocks(microsocks));
    ASSERT_TRUE(proxies.back()) << "microsocks could not be started";
    entries.push_back("127.0.0.1:" + std::to_string(proxies.back()->port()));
    pool.AddProxyEntry(lstAll, entries.back());
  }
  pool.SelectRandomProxy();

  const std::shared_ptr<ListeningSocket> listener = TcpServe(0, RelayHandler);
  ASSERT_TRUE(listener);
  const auto relayPort = static_cast<std::uint16_t>(LocalPort(listener->Get()));
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
          const std::string failure = OneConnection(relayPort, echo.port(), payload);
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
      << "before: " << before << "; after: " << after;
  std::printf("soak: %d connections in %.1f s (%.0f/s), %lld bytes echoed\n", total, seconds, total / seconds,
              bytesBack.load());

  listener->StopAccepting();
}

}  // namespace
