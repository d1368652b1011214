// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A server that ran out of descriptors must recover once connections end:
// the relay would otherwise stop listening for good after one busy moment.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "net/ConnectionServer.h"
#include "support/Loopback.h"

namespace {

using namespace std::chrono_literals;

// The sanitizer runtimes open descriptors of their own while checking (a pipe
// to probe memory before reading a vtable), so in a process that has none
// left they report false faults and abort. The plain build runs this test.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(undefined_behavior_sanitizer)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif
#else
constexpr bool kUnderSanitizer = false;
#endif

// Serves "ok" to each client until it closes, in a child process whose soft
// descriptor limit leaves room for only a few connections. The clients live
// in the test process, so only the server runs short.
class ShortOfDescriptors : public ::testing::Test {
 protected:
  static constexpr int kSpareDescriptors = 8;

  void SetUp() override {
    if (kUnderSanitizer) GTEST_SKIP() << "sanitizers cannot run without free descriptors";
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    child_ = ::fork();
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
      ::close(pipeEnds[0]);
      ::_exit(RunServer(pipeEnds[1]));
    }
    ::close(pipeEnds[1]);
    std::int32_t port = 0;
    const ssize_t got = ::read(pipeEnds[0], &port, sizeof port);
    ::close(pipeEnds[0]);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof port)) << "the server did not start";
    port_ = port;
  }

  void TearDown() override {
    if (child_ <= 0) return;
    ::kill(child_, SIGKILL);
    int status = 0;
    ::waitpid(child_, &status, 0);
  }

  static int RunServer(int reportTo) {
    ::alarm(30);  // never outlive a test that lost track of this process
    const std::shared_ptr<ListeningSocket> listener = TcpServe(
        0,
        [](Socket socket, std::int32_t, const std::string&) {
          TcpSend(socket, "ok", 2);
          char buffer[64];
          while (TcpReceive(socket, buffer, sizeof buffer) > 0) {
          }
        });
    if (!listener) return 2;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(loopback::OpenDescriptorCount() + kSpareDescriptors);
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 3;
    const std::int32_t port = LocalPort(listener->Get());
    if (::write(reportTo, &port, sizeof port) != sizeof port) return 4;
    ::close(reportTo);
    for (;;) ::pause();
  }

  // A new client, and whether the server greeted it within the time.
  std::pair<OwnedSocket, bool> Visit(std::chrono::milliseconds time) {
    OwnedSocket client(TcpConnect("127.0.0.1", port_));
    const bool greeted = client && loopback::ReceiveExactly(client.Get(), 2, time) == "ok";
    return {std::move(client), greeted};
  }

  pid_t child_ = -1;
  std::int32_t port_ = 0;
};

TEST_F(ShortOfDescriptors, TheServerAcceptsAgainOnceDescriptorsComeBack) {
  std::vector<OwnedSocket> clients;
  // Fill the server until a client waits unanswered in the backlog.
  bool stalled = false;
  for (int i = 0; i < 4 * kSpareDescriptors && !stalled; ++i) {
    auto [client, greeted] = Visit(300ms);
    ASSERT_TRUE(client) << "client " << i;
    stalled = !greeted;
    clients.push_back(std::move(client));
  }
  ASSERT_TRUE(stalled) << "the server never ran out of descriptors";
  // One more pending connection, still within the backlog of 5.
  clients.push_back(Visit(100ms).first);
  ASSERT_TRUE(clients.back());

  clients.clear();
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(Visit(loopback::kPatience).second) << "no answer after the shortage, client " << i;
  }
}

}  // namespace
