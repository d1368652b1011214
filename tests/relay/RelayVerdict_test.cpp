// The relay as served, against local servers standing in for proxies (the
// relay speaks no protocol, so an echo server is as good as a proxy here),
// with a scripted clock so that half-minute lives take no time.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <ostream>
#include <string>
#include <vector>

#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"
#include "relay/Verdict.h"
#include "support/LoopbackSockets.h"
#include "support/RelayUnderTest.h"
#include "support/ScriptedClock.h"

void PrintTo(const Upstream& u, std::ostream* os) {
  *os << '"' << u.host << "\":" << u.port;
}

namespace {

using namespace std::chrono_literals;
using Entries = std::vector<std::string>;

constexpr auto kQuick = 5000ms;

void SetUpstream(ProxyPool& pool, const std::string& host, std::uint16_t port) {
  pool.SetFieldText(edtHost, host);
  pool.SetFieldText(edtPort, std::to_string(port));
  pool.ApplyUpstream();
}

std::string LoopbackEntry(std::uint16_t port) {
  return "127.0.0.1:" + std::to_string(port);
}

// One round trip through the relay, then the client's end of stream; true
// when the relay closed the client in turn.
bool TalkThenHangUp(std::uint16_t relayPort) {
  TestSocket client = ConnectLoopback(relayPort);
  if (!client) return false;
  char echoed[4] = {};
  if (!SendAll(client.fd(), "ping", 4) || !ReceiveExact(client.fd(), echoed, 4)) return false;
  if (std::string(echoed, 4) != "ping") return false;
  ::shutdown(client.fd(), SHUT_WR);
  return ReceivesEndOfStream(client.fd(), kQuick);
}

// A client whose relay cannot reach anything: it only waits to be closed.
bool ClosedAtOnce(std::uint16_t relayPort) {
  TestSocket client = ConnectLoopback(relayPort);
  return client && ReceivesEndOfStream(client.fd(), kQuick);
}

TEST(RelayVerdict, LifeAgainstTheDeadline) {
  EXPECT_FALSE(IsWorkingLife(29s));
  EXPECT_FALSE(IsWorkingLife(30s));
  EXPECT_FALSE(IsWorkingLife(30s + 999us));
  EXPECT_TRUE(IsWorkingLife(30s + 1ms));
  EXPECT_TRUE(IsWorkingLife(31s));
  EXPECT_TRUE(IsWorkingLife(24h + 5s));  // a day and more is simply long
}

TEST(RelayVerdict, EntryTextUsesPlainDecimalPort) {
  EXPECT_EQ(ProxyEntryOf("1.2.3.4", 80), "1.2.3.4:80");
  EXPECT_EQ(ProxyEntryOf("Proxy.Example", 0), "Proxy.Example:0");
  EXPECT_EQ(ProxyEntryOf("h", -5), "h:-5");
  EXPECT_EQ(ProxyEntryOf("", 99999), ":99999");
}

TEST(RelayConnection, NoUpstreamClosesTheClientAndTouchesNothing) {
  ProxyPool pool;
  pool.AddProxyEntry(lstWorking, "1.1.1.1:80");
  ScriptedClock clock({});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));
  EXPECT_TRUE(ClosedAtOnce(relay.port()));
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_EQ(clock.Reads(), 0);
  EXPECT_EQ(pool.Entries(lstWorking), Entries{"1.1.1.1:80"});
  EXPECT_EQ(pool.Count(lstFailed), 0u);
  EXPECT_EQ(pool.Count(lstAll), 0u);
}

TEST(RelayConnection, RefusedUpstreamFailsAndPicksAnotherAtRandom) {
  RefusingPort refusing;
  const std::string entry = LoopbackEntry(refusing.port());
  ProxyPool pool;
  for (const std::string& e : {entry, std::string("10.0.0.1:1"), std::string("10.0.0.2:2")}) {
    pool.AddProxyEntry(lstAll, e);
  }
  pool.AddProxyEntry(lstWorking, entry);
  pool.AddProxyEntry(lstFailed, entry);
  SetUpstream(pool, "127.0.0.1", refusing.port());
  pool.Randomize(1);  // first draw over two entries: index 0
  ScriptedClock clock({0s, 0s});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  EXPECT_TRUE(ClosedAtOnce(relay.port()));
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_EQ(clock.Reads(), 2);
  EXPECT_EQ(pool.Entries(lstAll), (Entries{"10.0.0.1:1", "10.0.0.2:2"}));
  EXPECT_EQ(pool.Count(lstWorking), 0u);
  EXPECT_EQ(pool.Entries(lstFailed), Entries{entry});
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"10.0.0.1", 1}));
}

TEST(RelayConnection, RefusedUpstreamWithNothingLeftStaysTheUpstream) {
  RefusingPort refusing;
  const std::string entry = LoopbackEntry(refusing.port());
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, entry);
  SetUpstream(pool, "127.0.0.1", refusing.port());
  ScriptedClock clock({0s, 0s});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  // Twice in a row: one copy in lstFailed all the same.
  EXPECT_TRUE(ClosedAtOnce(relay.port()));
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_TRUE(ClosedAtOnce(relay.port()));
  ASSERT_TRUE(relay.WaitHandled(2, kQuick));
  EXPECT_EQ(pool.Count(lstAll), 0u);
  EXPECT_EQ(pool.Entries(lstFailed), Entries{entry});
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"127.0.0.1", static_cast<std::int32_t>(refusing.port())}));
}

// A proxy that never let the connection open has not worked, even when the
// lookup and the attempt took longer than the deadline.
TEST(RelayConnection, AConnectionThatNeverOpenedFailsHoweverLongItTook) {
  RefusingPort refusing;
  const std::string entry = LoopbackEntry(refusing.port());
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, entry);
  SetUpstream(pool, "127.0.0.1", refusing.port());
  ScriptedClock clock({0s, 31s});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  EXPECT_TRUE(ClosedAtOnce(relay.port()));
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_EQ(pool.Count(lstAll), 0u);
  EXPECT_EQ(pool.Count(lstWorking), 0u);
  EXPECT_EQ(pool.Entries(lstFailed), Entries{entry});
}

// Nothing answers the SYN: the attempt is given up at its limit (a second
// here, 21 s as served), the client is closed and the proxy failed.
TEST(RelayConnection, ASilentUpstreamIsGivenUpAtTheConnectLimit) {
  SilentPort silent;
  const std::string entry = LoopbackEntry(silent.port());
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, entry);
  SetUpstream(pool, "127.0.0.1", silent.port());
  ScriptedClock clock({0s, 1s});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock(), 1000ms));

  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ClosedAtOnce(relay.port()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms) << "given up before its limit";
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_EQ(pool.Count(lstAll), 0u);
  EXPECT_EQ(pool.Entries(lstFailed), Entries{entry});
}

// The verdict by life, for lives on either side of the deadline.
TEST(RelayConnection, LifeDecidesWhereTheEntryGoes) {
  struct Case {
    std::chrono::milliseconds life;
    bool working;
  };
  LoopbackServer echo(Echo);
  const std::string entry = LoopbackEntry(echo.port());
  for (const Case& c : {Case{31s, true}, Case{29s, false}, Case{30s, false}, Case{30s + 1ms, true}}) {
    SCOPED_TRACE(c.life.count());
    ProxyPool pool;
    pool.AddProxyEntry(lstAll, entry);
    pool.AddProxyEntry(lstAll, "other:1");
    pool.AddProxyEntry(lstFailed, entry);
    pool.AddProxyEntry(lstWorking, entry);
    SetUpstream(pool, "127.0.0.1", echo.port());
    ScriptedClock clock({0s, c.life});
    RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

    EXPECT_TRUE(TalkThenHangUp(relay.port()));
    ASSERT_TRUE(relay.WaitHandled(1, kQuick));
    if (c.working) {
      EXPECT_EQ(pool.Entries(lstAll), (Entries{entry, "other:1"}));
      EXPECT_EQ(pool.Entries(lstWorking), Entries{entry});
      EXPECT_EQ(pool.Count(lstFailed), 0u);
      EXPECT_EQ(pool.CurrentUpstream().host, "127.0.0.1");
    } else {
      EXPECT_EQ(pool.Entries(lstAll), Entries{"other:1"});
      EXPECT_EQ(pool.Count(lstWorking), 0u);
      EXPECT_EQ(pool.Entries(lstFailed), Entries{entry});
      EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"other", 1}));
    }
  }
}

TEST(RelayConnection, UpstreamClosingFirstShutsTheClientBeforeTheVerdict) {
  LoopbackServer farewell([](int fd) {
    SendAll(fd, "bye", 3);
    ::shutdown(fd, SHUT_RDWR);
  });
  ProxyPool pool;
  SetUpstream(pool, "127.0.0.1", farewell.port());
  ScriptedClock clock({0s, 31s});
  clock.Hold(2, 8000ms);  // the verdict's reading waits for the client to see the end
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  TestSocket client = ConnectLoopback(relay.port());
  ASSERT_TRUE(client);
  char word[3] = {};
  ASSERT_TRUE(ReceiveExact(client.fd(), word, 3));
  EXPECT_EQ(std::string(word, 3), "bye");
  EXPECT_TRUE(ReceivesEndOfStream(client.fd(), 4000ms));
  // The client's side ends in turn, as an IRC client's does on the server's
  // farewell; only then is the connection over.
  ::shutdown(client.fd(), SHUT_WR);
  EXPECT_EQ(pool.Count(lstWorking), 0u);  // no verdict yet
  clock.Release();
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_FALSE(clock.HoldTimedOut());
  EXPECT_EQ(pool.Entries(lstWorking), Entries{LoopbackEntry(farewell.port())});
}

TEST(RelayConnection, HostDifferingInCaseLeavesTheListItem) {
  // Both spellings are hexadecimal loopback addresses, so neither is looked up.
  RefusingPort refusing;
  const std::string port = std::to_string(refusing.port());
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, "0x7f.0.0.1:" + port);
  SetUpstream(pool, "0X7F.0.0.1", refusing.port());
  ScriptedClock clock({0s, 0s});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  EXPECT_TRUE(ClosedAtOnce(relay.port()));
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_EQ(pool.Entries(lstAll), Entries{"0x7f.0.0.1:" + port});
  EXPECT_EQ(pool.Entries(lstFailed), Entries{"0X7F.0.0.1:" + port});
  // The failed verdict's pick found the lower-case item still in lstAll.
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"0x7f.0.0.1", static_cast<std::int32_t>(refusing.port())}));
}

TEST(RelayConnection, VerdictConcernsTheUpstreamTheConnectionStartedWith) {
  LoopbackServer echo(Echo);
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, "other:1");
  SetUpstream(pool, "127.0.0.1", echo.port());
  ScriptedClock clock({0s, 5s});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  TestSocket client = ConnectLoopback(relay.port());
  ASSERT_TRUE(client);
  char echoed[2];
  ASSERT_TRUE(SendAll(client.fd(), "hi", 2));
  ASSERT_TRUE(ReceiveExact(client.fd(), echoed, 2));
  SetUpstream(pool, "9.9.9.9", 9);  // the user's new choice, mid-connection
  ::shutdown(client.fd(), SHUT_WR);
  EXPECT_TRUE(ReceivesEndOfStream(client.fd(), kQuick));
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_EQ(pool.Entries(lstFailed), Entries{LoopbackEntry(echo.port())});
  // The failed verdict still picks at random, over the user's choice.
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"other", 1}));
}

TEST(RelayConnection, ManyClientsAtOnceEachGetTheirOwnRelay) {
  LoopbackServer echo(Echo);
  ProxyPool pool;
  SetUpstream(pool, "127.0.0.1", echo.port());
  ScriptedClock clock({});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  constexpr int kClients = 24;
  auto roundTrip = [](int fd, const std::string& word) {
    std::string echoed(word.size(), '\0');
    return SendAll(fd, word.data(), word.size()) && ReceiveExact(fd, echoed.data(), echoed.size()) &&
           echoed == word;
  };
  // One at a time in, so the short listen backlog never drops a connection...
  std::vector<TestSocket> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(ConnectLoopback(relay.port()));
    ASSERT_TRUE(clients.back());
    ASSERT_TRUE(roundTrip(clients.back().fd(), "hello" + std::to_string(i)));
  }
  // ...then all open together, each hearing back only its own words.
  for (int i = 0; i < kClients; ++i) {
    const std::string word = "client" + std::to_string(100 + i);
    ASSERT_TRUE(SendAll(clients[static_cast<std::size_t>(i)].fd(), word.data(), word.size()));
  }
  for (int i = 0; i < kClients; ++i) {
    const std::string word = "client" + std::to_string(100 + i);
    std::string echoed(word.size(), '\0');
    ASSERT_TRUE(ReceiveExact(clients[static_cast<std::size_t>(i)].fd(), echoed.data(), echoed.size()));
    EXPECT_EQ(echoed, word);
  }
  EXPECT_EQ(relay.Handled(), 0);
  clients.clear();
  ASSERT_TRUE(relay.WaitHandled(kClients, kQuick));
  EXPECT_EQ(echo.Accepted(), kClients);
}

}  // namespace
