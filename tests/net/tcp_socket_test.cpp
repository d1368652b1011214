// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The socket operations on real loopback connections.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "net/TcpSocket.h"
#include "support/ChildProcess.h"
#include "support/Loopback.h"

namespace {

using namespace std::chrono_literals;
using loopback::ConnectedPair;

// A signal that interrupts blocking calls instead of restarting them, as a
// signal from elsewhere in a real program may.
void InstallInterruptingSignal() {
  struct sigaction action {};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART
  ::sigaction(SIGUSR1, &action, nullptr);
}

TEST(TcpSocketExchange, CarriesBytesBothWaysAndReportsTheEndOfStream) {
  auto pair = ConnectedPair();
  ASSERT_TRUE(pair.client && pair.server);

  EXPECT_EQ(TcpSend(pair.client.Get(), "hello", 5), 5);
  char buffer[16] = {};
  ASSERT_EQ(TcpReceive(pair.server.Get(), buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");

  EXPECT_EQ(TcpSend(pair.server.Get(), "back", 4), 4);
  EXPECT_EQ(loopback::ReceiveExactly(pair.client.Get(), 4), "back");

  // Bytes sent before the close still arrive; only then the end of stream.
  EXPECT_EQ(TcpSend(pair.client.Get(), "last", 4), 4);
  pair.client = OwnedSocket();
  EXPECT_EQ(TcpReceive(pair.server.Get(), buffer, sizeof buffer), 4);
  EXPECT_EQ(TcpReceive(pair.server.Get(), buffer, sizeof buffer), 0);
  EXPECT_EQ(TcpReceive(pair.server.Get(), buffer, sizeof buffer), 0);
}

TEST(TcpSocketExchange, ConnectsByName) {
  OwnedSocket listener(TcpListen(0));
  ASSERT_TRUE(listener);
  OwnedSocket client(TcpConnect("localhost", LocalPort(listener.Get())));
  EXPECT_TRUE(client);
}

TEST(TcpSocketExchange, AnEmptySendSendsNothing) {
  auto pair = ConnectedPair();
  ASSERT_TRUE(pair.client && pair.server);
  EXPECT_EQ(TcpSend(pair.client.Get(), "x", 0), 0);
  EXPECT_EQ(TcpSend(pair.client.Get(), "x", -3), 0);
  EXPECT_EQ(TcpSend(pair.client.Get(), nullptr, 1), 0);
  EXPECT_EQ(TcpSend(pair.client.Get(), "y", 1), 1);
  // The first byte the peer sees is the one real send.
  EXPECT_EQ(loopback::ReceiveExactly(pair.server.Get(), 1), "y");
}

TEST(TcpSocketExchange, NoSocketFailsEveryOperationQuietly) {
  char buffer[4];
  EXPECT_EQ(TcpSend(NoSocket, "abc", 3), 0);
  EXPECT_EQ(TcpReceive(NoSocket, buffer, sizeof buffer), 0);
  EXPECT_EQ(LocalPort(NoSocket), 0);
  TcpShutdown(NoSocket);
  TcpClose(NoSocket);
  EXPECT_FALSE(NoSocket);
  EXPECT_TRUE(Socket(0));  // descriptor 0 is a socket like any other
}

TEST(TcpSocketExchange, ASendToAResetPeerFailsWithoutKillingTheProcess) {
  // SIGPIPE keeps its default (fatal) disposition in the child, so only the
  // send itself can keep the process alive.
  const int result = RunInChild([] {
    ::signal(SIGPIPE, SIG_DFL);
    auto pair = ConnectedPair();
    if (!pair.client || !pair.server) return 2;
    const linger abort{1, 0};
    ::setsockopt(pair.server.Get().fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(pair.server.Release().fd);  // a reset, not an orderly close

    const std::string chunk(1024, 'z');
    for (int attempt = 0; attempt < 200; ++attempt) {
      if (TcpSend(pair.client.Get(), chunk.data(), static_cast<int>(chunk.size())) == 0) {
        // The first failure may report the reset itself; the sends after it
        // meet a dead pipe, which is where SIGPIPE would strike.
        for (int again = 0; again < 3; ++again) {
          if (TcpSend(pair.client.Get(), chunk.data(), static_cast<int>(chunk.size())) != 0) return 4;
        }
        char buffer[16];
        return TcpReceive(pair.client.Get(), buffer, sizeof buffer) == 0 ? 0 : 5;
      }
      std::this_thread::sleep_for(5ms);
    }
    return 3;  // the send never noticed the reset
  });
  EXPECT_EQ(result, 0) << "128 + " << SIGPIPE << " means SIGPIPE killed the child";
}

TEST(TcpSocketExchange, ASendAfterShuttingDownFailsWithoutKillingTheProcess) {
  // The relay shuts a socket down on one thread while another may still be
  // sending on it.
  const int result = RunInChild([] {
    ::signal(SIGPIPE, SIG_DFL);
    auto pair = ConnectedPair();
    if (!pair.client || !pair.server) return 2;
    TcpShutdown(pair.client.Get());
    if (TcpSend(pair.client.Get(), "late", 4) != 0) return 3;
    char buffer[16];
    return TcpReceive(pair.client.Get(), buffer, sizeof buffer) == 0 ? 0 : 4;
  });
  EXPECT_EQ(result, 0) << "128 + " << SIGPIPE << " means SIGPIPE killed the child";
}

TEST(TcpSocketExchange, ALargeSendToASlowReaderArrivesWholeDespiteSignals) {
  InstallInterruptingSignal();
  auto pair = ConnectedPair();
  ASSERT_TRUE(pair.client && pair.server);

  std::string data(8 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 131) ^ (i >> 11));

  std::atomic<bool> done{false};
  int sent = -1;
  std::thread sender([&] {
    sent = TcpSend(pair.client.Get(), data.data(), static_cast<int>(data.size()));
    done = true;
  });
  // Signals cut the blocked send short again and again; each cut must resume
  // where it stopped.
  std::thread poker([&, target = sender.native_handle()] {
    while (!done) {
      ::pthread_kill(target, SIGUSR1);
      std::this_thread::sleep_for(300us);
    }
  });

  std::this_thread::sleep_for(100ms);  // let the send fill every buffer first
  std::string received;
  while (received.size() < data.size()) {
    const auto chunk = loopback::ReceiveWithin(pair.server.Get());
    if (!chunk || chunk->empty()) break;
    received += *chunk;
    if (received.size() % (1 << 20) < chunk->size()) std::this_thread::sleep_for(10ms);
  }
  poker.join();
  sender.join();

  EXPECT_EQ(sent, static_cast<int>(data.size()));
  ASSERT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data) << "bytes were lost, doubled or reordered";
}

TEST(TcpSocketExchange, AReceiveInterruptedBySignalsWaitsForTheData) {
  InstallInterruptingSignal();
  auto pair = ConnectedPair();
  ASSERT_TRUE(pair.client && pair.server);

  char buffer[16] = {};
  std::atomic<int> got{-1};
  std::thread receiver([&] { got = TcpReceive(pair.server.Get(), buffer, sizeof buffer); });
  for (int i = 0; i < 5; ++i) {
    std::this_thread::sleep_for(20ms);
    ::pthread_kill(receiver.native_handle(), SIGUSR1);
  }
  EXPECT_EQ(got, -1) << "the receive returned before any data came";
  EXPECT_EQ(TcpSend(pair.client.Get(), "late", 4), 4);
  receiver.join();
  EXPECT_EQ(got, 4);
  EXPECT_EQ(std::string(buffer, 4), "late");
}

TEST(TcpListen, RefusesAPortThatAnotherSocketListensOn) {
  OwnedSocket holder(TcpListen(0));
  ASSERT_TRUE(holder);
  const std::int32_t port = LocalPort(holder.Get());
  ASSERT_GT(port, 0);
  const int before = loopback::OpenDescriptorCount();
  EXPECT_EQ(TcpListen(port), NoSocket);
  EXPECT_EQ(loopback::OpenDescriptorCount(), before) << "the refused socket leaked";
}

TEST(TcpListen, ListensAgainRightAfterAServerThatClosedConnections) {
  OwnedSocket listener(TcpListen(0));
  ASSERT_TRUE(listener);
  const std::int32_t port = LocalPort(listener.Get());
  {
    OwnedSocket client(TcpConnect("127.0.0.1", port));
    ASSERT_TRUE(client);
    OwnedSocket accepted(Socket(::accept4(listener.Get().fd, nullptr, nullptr, SOCK_CLOEXEC)));
    ASSERT_TRUE(accepted);
    ASSERT_EQ(TcpSend(accepted.Get(), "bye", 3), 3);
    // The server side closes first and so keeps the connection in TIME_WAIT.
    accepted = OwnedSocket();
    EXPECT_TRUE(loopback::ClosedWithin(client.Get()));
  }
  listener = OwnedSocket();
  OwnedSocket again(TcpListen(port));
  EXPECT_TRUE(again) << "the port stayed blocked by the closed connection";
}

// A signal during the wait for the handshake is no answer from the host: the
// attempt waits on, up to its limit.
TEST(TcpConnect, SignalsDuringTheHandshakeDoNotFailIt) {
  InstallInterruptingSignal();
  // A listener whose one-place queue is taken drops the next SYN; accepting
  // the queued connection makes room for the retransmitted one, a second on.
  OwnedSocket listener(Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)));
  sockaddr_in address = FillAddress("127.0.0.1", 0);
  ASSERT_EQ(::bind(listener.Get().fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener.Get().fd, 0), 0);
  const std::int32_t port = LocalPort(listener.Get());
  OwnedSocket queued(TcpConnect("127.0.0.1", port));
  ASSERT_TRUE(queued);

  std::atomic<bool> done{false};
  ConnectFault fault = ConnectFault::Refused;
  OwnedSocket connected;
  std::thread connector([&] {
    connected = OwnedSocket(TcpConnect("127.0.0.1", port, 5s, fault));
    done = true;
  });
  std::thread poker([&, target = connector.native_handle()] {
    while (!done) {
      ::pthread_kill(target, SIGUSR1);
      std::this_thread::sleep_for(1ms);
    }
  });
  std::this_thread::sleep_for(300ms);
  OwnedSocket first(Socket(::accept4(listener.Get().fd, nullptr, nullptr, SOCK_CLOEXEC)));
  connector.join();
  poker.join();
  EXPECT_TRUE(first);
  EXPECT_TRUE(connected) << "a signal ended the attempt";
  EXPECT_EQ(fault, ConnectFault::None);
}

TEST(TcpConnect, ARefusedConnectionLeavesNoDescriptorBehind) {
  const std::int32_t port = loopback::FreePort();
  ASSERT_GT(port, 0);
  const int before = loopback::OpenDescriptorCount();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(TcpConnect("127.0.0.1", port), NoSocket);
  EXPECT_EQ(loopback::OpenDescriptorCount(), before);
}

TEST(OwnedSocket, ClosesWhatItOwnsAndNothingElse) {
  auto pair = ConnectedPair();
  ASSERT_TRUE(pair.client && pair.server);

  // Released: the connection stays open after the owner goes.
  Socket kept;
  {
    OwnedSocket owner(pair.server.Release());
    kept = owner.Release();
    EXPECT_FALSE(owner);
  }
  EXPECT_FALSE(loopback::ClosedWithin(pair.client.Get(), 50ms));

  // Moved: only the last owner closes, and assigning over an owner closes
  // what it held before.
  OwnedSocket first(kept);
  OwnedSocket second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(second.Get(), kept);
  second = OwnedSocket();
  EXPECT_TRUE(loopback::ClosedWithin(pair.client.Get()));
}

TEST(StartSockets, IgnoresSigpipeAndRaisesTheDescriptorLimit) {
  const int result = RunInChild([] {
    ::signal(SIGPIPE, SIG_DFL);
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 2;
    const rlim_t hard = limit.rlim_max;
    limit.rlim_cur = 64;
    if (hard < 65 || ::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 3;

    { SocketLibrary library; }

    struct sigaction current {};
    ::sigaction(SIGPIPE, nullptr, &current);
    if (current.sa_handler != SIG_IGN) return 4;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur != hard) return 5;
    return 0;
  });
  EXPECT_EQ(result, 0);
}

}  // namespace
