// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The relay without its window, for tests and benchmarks (not the product:
// the program itself has no command line).
//
//   relayd PORT [HOST:PORT]
//
// Serves the relay handler on PORT (0: one the system picks) and prints the
// port it listens on as the first line of stdout. HOST:PORT, if given, is put
// into the host and port fields and applied, as "Set!" would. Runs until
// SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "net/ConnectionServer.h"
#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: relayd PORT [HOST:PORT]\n");
    return 2;
  }
  SocketLibrary sockets;

  // Blocked before any thread starts, so that every relay thread inherits the
  // mask and the signals reach the sigwait below.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  ProxyPool& pool = ThePool();
  pool.Randomize(StartupSeed());
  if (argc == 3) {
    auto [host, port] = SplitProxyEntry(argv[2]);
    pool.SetFieldText(edtHost, host);
    pool.SetFieldText(edtPort, port);
    pool.ApplyUpstream();
  }

  const std::shared_ptr<ListeningSocket> listener = TcpServe(IntFromText(argv[1]), RelayHandler);
  if (!listener) {
    std::fprintf(stderr, "relayd: cannot listen on port %s\n", argv[1]);
    return 1;
  }
  std::printf("%d\n", LocalPort(listener->Get()));
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stop, &signal);
  listener->StopAccepting();
  return 0;
}
