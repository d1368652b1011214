// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The relay as served, against local servers standing in for proxies (the
// relay speaks no protocol, so an echo server is as good as a proxy here),
// with a scripted clock so that half-minute lives take no time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"
#include "relay/Verdict.h"
#include "support/LoopbackSockets.h"
#include "support/RelayUnderTest.h"
#include "support/ScriptedClock.h"
#include "support/WaitUntil.h"

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

// Verdicts given on many relay threads at once, as when a client quits several
// networks together: each kind leaves one copy where it belongs, and a mix
// leaves one copy in one of the two lists.
TEST(RelayVerdict, VerdictsAtTheSameMomentLeaveOneCopy) {
  constexpr int kJudges = 8;
  constexpr int kRounds = 400;
  const std::string entry = "10.0.0.1:1080";
  for (int mix = 0; mix < 3; ++mix) {
    SCOPED_TRACE(mix);
    ProxyPool pool;
    pool.AddProxyEntry(lstAll, entry);
    std::atomic<int> ready{0};
    std::vector<std::thread> judges;
    for (int j = 0; j < kJudges; ++j) {
      const Verdict verdict = mix == 0 || (mix == 2 && j % 2 == 0) ? Verdict::Working : Verdict::Failed;
      judges.emplace_back([&, verdict] {
        ++ready;
        while (ready < kJudges) std::this_thread::yield();
        for (int i = 0; i < kRounds; ++i) ApplyVerdict(pool, entry, verdict);
      });
    }
    for (std::thread& judge : judges) judge.join();
    const Entries working = pool.Entries(lstWorking);
    const Entries failed = pool.Entries(lstFailed);
    if (mix == 0) {
      EXPECT_EQ(working, Entries{entry});
      EXPECT_EQ(failed, Entries{});
      EXPECT_EQ(pool.Entries(lstAll), Entries{entry});
    } else {
      EXPECT_EQ(working.size() + failed.size(), 1u) << working.size() << " working, " << failed.size() << " failed";
      EXPECT_EQ(pool.Count(lstAll), 0u);
    }
    if (mix == 1) {
      EXPECT_EQ(failed, Entries{entry});
    }
  }
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

// A list scraped from a web page holds the proxy twice, once with its port
// padded: the upstream made of either is the same proxy, and its failure
// takes both out of the list of all proxies, so that it is not picked again.
TEST(RelayConnection, AFailedProxyLeavesTheListOfAllUnderEverySpellingOfItsPort) {
  RefusingPort refusing;
  const std::string plain = LoopbackEntry(refusing.port());
  const std::string padded = "127.0.0.1:0" + std::to_string(refusing.port());
  ProxyPool pool;
  for (const std::string& e : {padded, plain, std::string("127.0.0.10:1"), std::string("127.0.0.1:1")}) {
    pool.AddProxyEntry(lstAll, e);
  }
  pool.FillFieldsFromList(lstAll, static_cast<int>(*pool.PositionOf(lstAll, padded)));
  pool.ApplyUpstream();
  ScriptedClock clock({0s, 0s});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  EXPECT_TRUE(ClosedAtOnce(relay.port()));
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_EQ(pool.Entries(lstAll), (Entries{"127.0.0.10:1", "127.0.0.1:1"}));
  EXPECT_EQ(pool.Entries(lstFailed), Entries{plain});
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

// The verdict by life, for lives on either side of the deadline (the exact
// edge is LifeAgainstTheDeadline's: the clock here runs on in real time).
TEST(RelayConnection, LifeDecidesWhereTheEntryGoes) {
  struct Case {
    std::chrono::milliseconds life;
    bool working;
  };
  LoopbackServer echo(Echo);
  const std::string entry = LoopbackEntry(echo.port());
  for (const Case& c : {Case{31s, true}, Case{29s, false}, Case{30s - 300ms, false}, Case{30s + 1ms, true}}) {
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
  std::atomic<int> clientFd{-1};
  std::atomic<int> endSeenAtVerdict{-1};
  // Heard on the relay's thread as the verdict is made: has the client's
  // socket been told of the end by then?
  pool.AddListener([&](const PoolChange& change) {
    if (change.kind != PoolChange::Kind::Inserted || change.list != lstWorking) return;
    while (clientFd.load() < 0) std::this_thread::yield();
    pollfd p{clientFd.load(), POLLRDHUP, 0};
    endSeenAtVerdict = ::poll(&p, 1, 0) == 1 && (p.revents & POLLRDHUP) ? 1 : 0;
  });
  ScriptedClock clock({0s, 31s});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  TestSocket client = ConnectLoopback(relay.port());
  ASSERT_TRUE(client);
  clientFd = client.fd();
  char word[3] = {};
  ASSERT_TRUE(ReceiveExact(client.fd(), word, 3));
  EXPECT_EQ(std::string(word, 3), "bye");
  EXPECT_TRUE(ReceivesEndOfStream(client.fd(), 4000ms));
  // The client's side ends in turn, as an IRC client's does on the server's
  // farewell; only then is the connection over.
  ::shutdown(client.fd(), SHUT_WR);
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_EQ(pool.Entries(lstWorking), Entries{LoopbackEntry(farewell.port())});
  EXPECT_EQ(endSeenAtVerdict.load(), 1) << "the verdict came before the client heard the end";
}

// An upstream that closes a moment in, before a client that lingers: the
// proxy is judged at its close, failed, not when the client hangs up. 28 s
// are gone by the clock's second reading, so a life stretched to the
// client's end (some 3 s later) would pass for a working one.
TEST(RelayConnection, AnUpstreamThatClosesEarlyIsJudgedAtItsCloseWhileTheClientLingers) {
  LoopbackServer early([](int fd) {
    std::this_thread::sleep_for(300ms);
    ::shutdown(fd, SHUT_RDWR);
  });
  ProxyPool pool;
  SetUpstream(pool, "127.0.0.1", early.port());
  ScriptedClock clock({0s, 28s});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock()));

  TestSocket client = ConnectLoopback(relay.port());
  ASSERT_TRUE(client);
  EXPECT_TRUE(ReceivesEndOfStream(client.fd(), kQuick));
  EXPECT_TRUE(WaitUntil([&] { return pool.Count(lstFailed) == 1; }, 1500ms)) << "no verdict while the client stays";
  std::this_thread::sleep_for(2500ms);
  client.Close();
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_EQ(pool.Entries(lstFailed), Entries{LoopbackEntry(early.port())});
  EXPECT_EQ(pool.Count(lstWorking), 0u);
}

// A client sends its line and half-closes before a proxy that reads it and
// then neither answers nor closes: the silence limit (a second here) lets the
// connection go, both peers hear a reset, and the proxy has failed.
TEST(RelayConnection, TheSilenceLimitLetsGoAHalfClosedConnectionBeforeASilentProxy) {
  std::atomic<bool> upstreamReset{false};
  LoopbackServer silent([&](int fd) {
    char buf[64];
    while (::recv(fd, buf, sizeof buf, 0) > 0) {
    }
    pollfd p{fd, 0, 0};  // errors only: the relay's end of stream is read already
    upstreamReset = ::poll(&p, 1, 10'000) == 1 && (p.revents & POLLERR);
  });
  ProxyPool pool;
  SetUpstream(pool, "127.0.0.1", silent.port());
  ScriptedClock clock({});
  RelayUnderTest relay(MakeRelayHandler(pool, clock.Clock(), RelayLimits{kConnectTimeLimit, 1000ms}));

  TestSocket client = ConnectLoopback(relay.port());
  ASSERT_TRUE(client);
  ASSERT_TRUE(SendAll(client.fd(), "hello\n", 6));
  ::shutdown(client.fd(), SHUT_WR);
  const auto start = std::chrono::steady_clock::now();
  pollfd p{client.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 8000), 1) << "still held after 8 s";
  char byte;
  EXPECT_EQ(::recv(client.fd(), &byte, 1, 0), -1);
  EXPECT_EQ(errno, ECONNRESET) << "the cut reached the client as an orderly end";
  EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms) << "let go before the limit";
  ASSERT_TRUE(relay.WaitHandled(1, kQuick));
  EXPECT_TRUE(WaitUntil([&] { return upstreamReset.load(); }, kQuick));
  EXPECT_EQ(pool.Entries(lstFailed), Entries{LoopbackEntry(silent.port())});
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

// A burst of clients beyond any small listen queue, every one relayed to a
// proxy that drops SYNs: each is let go at the connect limit, none is left
// believing it is connected to a relay that never took it in.
TEST(RelayConnection, ABurstOfClientsAtASilentUpstreamIsLetGoWhole) {
  StartSockets();  // the descriptor limit of the program
  constexpr int kClients = 300;
  SilentPort silent;
  ProxyPool pool;
  SetUpstream(pool, "127.0.0.1", silent.port());
  RelayUnderTest relay(MakeRelayHandler(pool, [] { return std::chrono::steady_clock::now(); }, 1000ms));

  std::vector<TestSocket> clients;
  const sockaddr_in address = LoopbackAddress(relay.port());
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    ASSERT_TRUE(clients.back());
    ::connect(clients.back().fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }
  const auto deadline = std::chrono::steady_clock::now() + 12s;
  int letGo = 0;
  for (TestSocket& client : clients) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{client.fd(), POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1) break;
      char byte;
      const ssize_t n = ::recv(client.fd(), &byte, 1, 0);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) ++letGo;
      break;
    }
  }
  EXPECT_EQ(letGo, kClients) << kClients - letGo << " clients still wait";
  EXPECT_TRUE(relay.WaitHandled(kClients, kQuick));
}

// Runs `body` in a process of its own; its exit status, or -1 when it did not exit.
int ExitStatusInChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(30);
    int status = 99;
    try {
      status = body();
    } catch (...) {
    }
    ::_exit(status);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A client accepted on a listener of its own, as the server hands it over.
struct AcceptedClient {
  TestSocket listener;
  TestSocket client;
  TestSocket served;
};

AcceptedClient AcceptOne() {
  AcceptedClient a;
  std::uint16_t port = 0;
  a.listener = ListenLoopback(port);
  a.client = ConnectLoopback(port);
  a.served = TestSocket(::accept4(a.listener.fd(), nullptr, nullptr, SOCK_CLOEXEC));
  return a;
}

bool OnlyInAll(const ProxyPool& pool, const std::string& entry) {
  return pool.Entries(lstAll) == Entries{entry} && pool.Count(lstWorking) == 0 && pool.Count(lstFailed) == 0;
}

// The relay runs short of threads right after the proxy answered: the client
// is let go and the proxy, which did nothing wrong, is not judged.
TEST(RelayConnection, NoThreadForThePumpJudgesNothing) {
  const int status = ExitStatusInChild([] {
    std::uint16_t upstreamPort = 0;
    TestSocket upstream = ListenLoopback(upstreamPort);
    AcceptedClient accepted = AcceptOne();
    if (!upstream || !accepted.served) return 2;
    ProxyPool pool;
    const std::string entry = LoopbackEntry(upstreamPort);
    pool.AddProxyEntry(lstAll, entry);
    SetUpstream(pool, "127.0.0.1", upstreamPort);
    // The limit on processes binds everyone but root; this process becomes nobody.
    if (::getuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
      return 3;
    const rlimit none{0, 0};
    if (::setrlimit(RLIMIT_NPROC, &none) != 0) return 3;
    try {
      std::thread([] {}).join();
      return 4;
    } catch (const std::system_error&) {
    }
    ScriptedClock clock({0s, 0s});
    RelayConnection(Socket(accepted.served.fd()), pool, clock.Clock());
    return OnlyInAll(pool, entry) ? 0 : 1;
  });
  EXPECT_EQ(status, 0) << "1: the proxy was judged; 3, 4: the thread limit could not be set";
}

// No local port left for the connection to the proxy (EADDRNOTAVAIL) is this
// machine's shortage, not the proxy's failure. Made real in a network
// namespace of its own with a single ephemeral port, already taken.
TEST(RelayConnection, NoLocalPortLeftJudgesNothing) {
  constexpr int kNoNamespace = 77;
  const int status = ExitStatusInChild([] {
    if (::unshare(CLONE_NEWNET) != 0) return kNoNamespace;
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq loopback{};
    std::strcpy(loopback.ifr_name, "lo");
    if (::ioctl(control, SIOCGIFFLAGS, &loopback) != 0) return 2;
    loopback.ifr_flags |= IFF_UP;
    if (::ioctl(control, SIOCSIFFLAGS, &loopback) != 0) return 2;
    ::close(control);

    std::uint16_t upstreamPort = 0;
    TestSocket upstream = ListenLoopback(upstreamPort);
    AcceptedClient accepted = AcceptOne();
    if (!upstream || !accepted.served) return 2;
    const int range = ::open("/proc/sys/net/ipv4/ip_local_port_range", O_WRONLY | O_CLOEXEC);
    if (range < 0 || ::write(range, "40000 40000", 11) != 11) return kNoNamespace;
    ::close(range);
    TestSocket taken = ConnectLoopback(upstreamPort);
    TestSocket probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = LoopbackAddress(upstreamPort);
    if (::connect(probe.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        errno != EADDRNOTAVAIL)
      return 3;

    ProxyPool pool;
    const std::string entry = LoopbackEntry(upstreamPort);
    pool.AddProxyEntry(lstAll, entry);
    SetUpstream(pool, "127.0.0.1", upstreamPort);
    ScriptedClock clock({0s, 0s});
    RelayConnection(Socket(accepted.served.fd()), pool, clock.Clock());
    return OnlyInAll(pool, entry) ? 0 : 1;
  });
  if (status == kNoNamespace) GTEST_SKIP() << "no network namespace can be made here (it takes root)";
  EXPECT_EQ(status, 0) << "1: the proxy was judged; 3: the ports did not run out";
}

}  // namespace
