// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The connection server against real loopback clients.
#include "net/ConnectionServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <future>
#include <string>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "net/Wakeup.h"
#include "support/Loopback.h"

namespace {

using namespace std::chrono_literals;
using loopback::kPatience;

struct Call {
  Socket socket;
  std::int32_t port = 0;
  std::string peer;
};

// What the handlers saw. Shared with the detached connection threads, which
// may outlive a failed test, so it lives as long as the last of them.
struct Journal {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Call> calls;
  int running = 0;
  bool released = false;

  void Record(Socket socket, std::int32_t port, const std::string& peer) {
    std::lock_guard lock(mutex);
    calls.push_back({socket, port, peer});
    ++running;
    changed.notify_all();
  }
  void Finish() {
    std::lock_guard lock(mutex);
    --running;
    changed.notify_all();
  }
  std::size_t CallCount() {
    std::lock_guard lock(mutex);
    return calls.size();
  }
  bool WaitForCalls(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kPatience, [&] { return calls.size() >= count; });
  }
  bool WaitUntilIdle() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kPatience, [&] { return running == 0; });
  }
  void Release() {
    std::lock_guard lock(mutex);
    released = true;
    changed.notify_all();
  }
  bool WaitForRelease() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kPatience, [&] { return released; });
  }
};

// Counts the call and tells the client which byte it opened with, after
// holding back on "S" until the test releases it.
ConnectionHandler ReplyingHandler(std::shared_ptr<Journal> journal) {
  return [journal](Socket socket, std::int32_t port, const std::string& peer) {
    journal->Record(socket, port, peer);
    char first = 0;
    if (TcpReceive(socket, &first, 1) == 1) {
      if (first == 'S') journal->WaitForRelease();
      const std::string reply = std::string("done:") + first;
      TcpSend(socket, reply.data(), static_cast<int>(reply.size()));
    }
    journal->Finish();
  };
}

bool Refused(std::int32_t port) {
  const Socket probe = TcpConnect("127.0.0.1", port);
  TcpClose(probe);
  return !probe;
}

class ConnectionServer : public ::testing::Test {
 protected:
  // Serves on a port that was free a moment ago; another process may take it
  // in between, hence the few tries.
  void Serve(ConnectionHandler handler) {
    for (int attempt = 0; attempt < 5 && !listener_; ++attempt) {
      port_ = loopback::FreePort();
      listener_ = TcpServe(port_, handler);
    }
    ASSERT_TRUE(listener_);
  }

  // Shuts the server down and waits for its loop to close the socket. After
  // this the descriptor may belong to someone else, so it is forgotten.
  void Stop() {
    if (!listener_) return;
    listener_->StopAccepting();
    listener_ = nullptr;
    EXPECT_TRUE(loopback::WaitUntil([&] { return Refused(port_); }));
  }

  void SetUp() override { descriptors_ = loopback::OpenDescriptorCount(); }

  // Every test ends with each descriptor it caused closed again, which also
  // gives the next test a true baseline.
  void TearDown() override {
    Stop();
    EXPECT_TRUE(journal_->WaitUntilIdle());
    EXPECT_TRUE(loopback::WaitUntil([&] { return loopback::OpenDescriptorCount() == descriptors_; }))
        << loopback::OpenDescriptorCount() << " descriptors open, " << descriptors_ << " before the test";
  }

  OwnedSocket Connect() { return OwnedSocket(TcpConnect("127.0.0.1", port_)); }

  std::shared_ptr<Journal> journal_ = std::make_shared<Journal>();
  std::int32_t port_ = 0;
  std::shared_ptr<ListeningSocket> listener_;
  int descriptors_ = 0;
};

TEST_F(ConnectionServer, ServesTwoClientsAtOnceWithoutOneWaitingForTheOther) {
  Serve(ReplyingHandler(journal_));
  auto slow = Connect();
  ASSERT_TRUE(slow);
  ASSERT_EQ(TcpSend(slow.Get(), "S", 1), 1);
  ASSERT_TRUE(journal_->WaitForCalls(1));

  auto fast = Connect();
  ASSERT_TRUE(fast);
  ASSERT_EQ(TcpSend(fast.Get(), "F", 1), 1);
  EXPECT_EQ(loopback::ReceiveExactly(fast.Get(), 6), "done:F");
  EXPECT_EQ(loopback::ReceiveWithin(slow.Get(), 0ms), std::nullopt) << "the slow handler was not held";

  journal_->Release();
  EXPECT_EQ(loopback::ReceiveExactly(slow.Get(), 6), "done:S");
  std::lock_guard lock(journal_->mutex);
  ASSERT_EQ(journal_->calls.size(), 2u);
  EXPECT_NE(journal_->calls[0].socket, journal_->calls[1].socket);
}

TEST_F(ConnectionServer, ClosesTheConnectionOnceTheHandlerReturns) {
  Serve([journal = journal_](Socket socket, std::int32_t port, const std::string& peer) {
    journal->Record(socket, port, peer);
    journal->Finish();
  });
  auto client = Connect();
  ASSERT_TRUE(client);
  EXPECT_TRUE(loopback::ClosedWithin(client.Get()));
  EXPECT_EQ(journal_->CallCount(), 1u);
}

TEST_F(ConnectionServer, TellsTheHandlerTheListeningPortAndThePeersAddress) {
  Serve(ReplyingHandler(journal_));
  for (const char* source : {"127.0.0.2", "127.0.0.1"}) {
    OwnedSocket client(loopback::ConnectFrom(source, port_));
    ASSERT_TRUE(client) << source;
    ASSERT_EQ(TcpSend(client.Get(), "P", 1), 1);
    EXPECT_EQ(loopback::ReceiveExactly(client.Get(), 6), "done:P");
  }
  std::lock_guard lock(journal_->mutex);
  ASSERT_EQ(journal_->calls.size(), 2u);
  EXPECT_EQ(journal_->calls[0].port, port_);
  EXPECT_EQ(journal_->calls[0].peer, "127.0.0.2");
  EXPECT_EQ(journal_->calls[1].port, port_);
  EXPECT_EQ(journal_->calls[1].peer, "127.0.0.1");
}

TEST_F(ConnectionServer, AHandlerThatThrowsStillHasItsConnectionClosed) {
  Serve([journal = journal_](Socket socket, std::int32_t port, const std::string& peer) {
    journal->Record(socket, port, peer);
    const std::size_t call = journal->CallCount();
    journal->Finish();
    if (call == 1) throw std::runtime_error("handler failed");
    if (call == 2) throw 42;
    TcpSend(socket, "ok", 2);
  });
  for (int i = 0; i < 2; ++i) {
    auto client = Connect();
    ASSERT_TRUE(client);
    EXPECT_TRUE(loopback::ClosedWithin(client.Get())) << "call " << i + 1;
  }
  // The server goes on serving after its handlers failed.
  auto client = Connect();
  ASSERT_TRUE(client);
  EXPECT_EQ(loopback::ReceiveExactly(client.Get(), 2), "ok");
}

TEST_F(ConnectionServer, ClosesEveryAcceptedConnectionExactlyOnce) {
  const int before = descriptors_;
  Serve(ReplyingHandler(journal_));
  {
    // All open at once, each answered before the next one knocks: a burst
    // beyond the backlog of 5 would only wait for SYN retries.
    std::vector<OwnedSocket> clients;
    for (int i = 0; i < 20; ++i) {
      clients.push_back(Connect());
      ASSERT_TRUE(clients.back());
      ASSERT_EQ(TcpSend(clients.back().Get(), "S", 1), 1);
      ASSERT_TRUE(journal_->WaitForCalls(static_cast<std::size_t>(i + 1)));
    }
    journal_->Release();
    for (auto& client : clients) EXPECT_EQ(loopback::ReceiveExactly(client.Get(), 6), "done:S");
  }
  ASSERT_TRUE(journal_->WaitUntilIdle());
  // Only the listening socket is left over once every connection thread ended.
  EXPECT_TRUE(loopback::WaitUntil([&] { return loopback::OpenDescriptorCount() == before + 1; }))
      << loopback::OpenDescriptorCount() << " open, " << before + 1 << " expected";
  Stop();
  EXPECT_TRUE(loopback::WaitUntil([&] { return loopback::OpenDescriptorCount() == before; }))
      << "the listening socket was not closed";
}

TEST_F(ConnectionServer, RefusesAHeldPortAndRunsNoLoop) {
  OwnedSocket holder(TcpListen(0));
  ASSERT_TRUE(holder);
  port_ = LocalPort(holder.Get());
  const ConnectionHandler handler = ReplyingHandler(journal_);

  EXPECT_EQ(TcpServe(port_, handler), nullptr);

  // A client reaches the holder, never a handler.
  auto client = Connect();
  ASSERT_TRUE(client);
  ASSERT_EQ(TcpSend(client.Get(), "H", 1), 1);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(journal_->CallCount(), 0u);
}

TEST(ConnectionThreads, FreeWhatTheyAreGivenEvenWithoutAHandler) {
  const int before = loopback::OpenDescriptorCount();
  auto listen = std::make_unique<TListenData>();
  listen->listenSocket = TcpListen(0);
  ASSERT_TRUE(listen->listenSocket);
  listen->owner = std::make_shared<ListeningSocket>(listen->listenSocket);
  ListenThread(std::move(listen));
  EXPECT_EQ(loopback::OpenDescriptorCount(), before);

  auto pair = loopback::ConnectedPair();
  ASSERT_TRUE(pair.client && pair.server);
  auto connection = std::make_unique<TData>();
  connection->socket = std::move(pair.server);
  ConnectionThread(std::move(connection));
  EXPECT_TRUE(loopback::ClosedWithin(pair.client.Get()));
  ConnectionThread(nullptr);
}

int ProcessThreads() {
  std::ifstream status("/proc/self/status");
  std::string key;
  int threads = 0;
  while (status >> key) {
    if (key == "Threads:") status >> threads;
    status.ignore(1 << 16, '\n');
  }
  return threads;
}

// A thread whose work has ended takes the next piece; of a crowd of threads
// whose work ends together, only the bound stays, and the rest end.
TEST(ReusedThreads, AnIdleThreadServesTheNextWorkAndThoseBeyondTheBoundEnd) {
  std::promise<std::thread::id> first, second;
  RunOnThread([&] { first.set_value(std::this_thread::get_id()); });
  const std::thread::id firstThread = first.get_future().get();
  ASSERT_TRUE(loopback::WaitUntil([] { return IdleThreadCount() >= 1; }));
  RunOnThread([&] { second.set_value(std::this_thread::get_id()); });
  EXPECT_EQ(second.get_future().get(), firstThread);

  ASSERT_TRUE(loopback::WaitUntil([] { return IdleThreadCount() >= 1; }));
  const int busy = ProcessThreads() - static_cast<int>(IdleThreadCount());
  constexpr int kCrowd = static_cast<int>(kMaxIdleThreads) + 8;
  std::mutex mutex;
  std::condition_variable changed;
  int started = 0;
  bool release = false;
  for (int i = 0; i < kCrowd; ++i) {
    RunOnThread([&] {
      std::unique_lock lock(mutex);
      ++started;
      changed.notify_all();
      changed.wait(lock, [&] { return release; });
    });
  }
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return started == kCrowd; }));
    release = true;
  }
  changed.notify_all();
  EXPECT_TRUE(loopback::WaitUntil([&] {
    // Beyond the bound nothing stays: neither an idle thread nor a busy one.
    return IdleThreadCount() == kMaxIdleThreads && ProcessThreads() - static_cast<int>(kMaxIdleThreads) <= busy;
  })) << IdleThreadCount() << " idle, " << ProcessThreads() << " threads";
}

// A telling is never lost: one before the wait, one to a waiter asleep after
// an earlier wait ran out; told stays told until the waiter resets it.
TEST(Wakeup, NoTellingIsLost) {
  Wakeup early;
  early.Tell();
  EXPECT_TRUE(early.WaitFor(std::chrono::milliseconds(0)));

  Wakeup late;
  EXPECT_FALSE(late.WaitFor(std::chrono::milliseconds(20)));
  std::thread teller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    late.Tell();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(late.WaitFor(std::chrono::seconds(10)));
  // A lost wake-up would still end the wait, at its limit.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  teller.join();
  late.Wait();
  late.Reset();
  EXPECT_FALSE(late.WaitFor(std::chrono::milliseconds(0)));
}

}  // namespace
