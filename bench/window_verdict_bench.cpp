// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Relayed connections through the window's verdict path: the real window (on
// Qt's offscreen platform) relays to a loopback proxy that closes every
// connection at once, so each connection is judged failed and its entry moves
// in the lists the window shows. Client threads open, read to the end and
// close connections for a few seconds; the connections per second are
// printed. Build it against two trees to set them side by side.
//
//   window_verdict_bench [SECONDS] [CLIENT_THREADS]   (defaults: 3, 4)
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "shell/Main.h"
#include "shell/TrayPresence.h"

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
  const int threads = argc > 2 ? std::atoi(argv[2]) : 4;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  StartSockets();

  // The proxy: takes each connection and closes it at once.
  const Socket proxy = TcpListen(0);
  std::thread closer([proxy] {
    for (;;) {
      const int fd = ::accept(proxy.fd, nullptr, nullptr);
      if (fd < 0) return;
      ::close(fd);
    }
  });
  closer.detach();

  ProxyPool& pool = ThePool();
  TrayPresence tray(TrayPresence::Watching::Nothing);
  TForm1 form(0, pool, &tray);
  pool.SetFieldText(edtHost, "127.0.0.1");
  pool.SetFieldText(edtPort, std::to_string(LocalPort(proxy)));
  pool.ApplyUpstream();
  const std::int32_t relay = form.RelayListeningPort();

  std::atomic<bool> running{true};
  std::atomic<long> done{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < threads; ++t) {
    clients.emplace_back([&] {
      char buffer[64];
      while (running) {
        OwnedSocket client(TcpConnect("127.0.0.1", relay));
        if (!client) continue;
        while (::recv(client.Get().fd, buffer, sizeof buffer, 0) > 0) {
        }
        ++done;
      }
    });
  }
  // Warm-up, then the counted stretch, the window's event loop running all along.
  QTest::qWait(500);
  const long before = done.load();
  const auto start = std::chrono::steady_clock::now();
  QTest::qWait(seconds * 1000);
  const long counted = done.load() - before;
  const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  running = false;
  // The clients' last connections may still wait for a verdict on this
  // thread: the process ends without them.
  for (std::thread& c : clients) c.detach();
  std::printf("window verdict path: %.0f connections/s (%ld in %.1f s, %zu failed entries shown)\n",
              static_cast<double>(counted) / spent, counted, spent, pool.Count(lstFailed));
  std::fflush(stdout);
  std::_Exit(0);
}
