// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The window as a view of the pool: start-up state, changes handed over by
// other threads (the relay's among them) reaching the lists in order, and the
// window's end with threads still waiting to hand a change over.
#include <sys/socket.h>
#include <sys/time.h>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "shell/FlatButton.h"
#include "shell/LimitedEdit.h"
#include "shell/Main.h"
#include "shell/ProxyListBox.h"
#include "shell/ProxyListModel.h"
#include "support/ShellTesting.h"

namespace {

std::string Entry(int i) {
  return std::to_string(i / 1000) + "." + std::to_string(i % 1000) + ".0.1:" + std::to_string(i);
}

// Connects to the relay on loopback; reads until the relay closes the
// connection, at most five seconds. True when it closed.
bool RelayClosesConnection(std::int32_t port) {
  OwnedSocket client(TcpConnect("127.0.0.1", port));
  if (!client) return false;
  timeval limit{5, 0};
  setsockopt(client.Get().fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  char buffer[64];
  return recv(client.Get().fd, buffer, sizeof buffer, 0) == 0;
}

bool HasColouredText(ProxyListBox* list, int row, QColor ink) {
  const QImage shown = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QRect rect = list->visualRect(list->model()->index(row, 0)) & shown.rect();
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const QColor c = shown.pixelColor(x, y);
      if (std::abs(c.red() - ink.red()) < 40 && std::abs(c.green() - ink.green()) < 40 &&
          std::abs(c.blue() - ink.blue()) < 40)
        return true;
    }
  }
  return false;
}

}  // namespace

class PoolViewTest : public QObject {
  Q_OBJECT

 private slots:
  void startUpShowsNothingAndRelays() {
    ProxyPool pool;
    std::int32_t port = 0;
    {
      ReportedTray tray;
      TForm1 form(0, pool, &tray);
      QCOMPARE(Form1, &form);
      for (ProxyListBox* list : {form.lstAll, form.lstWorking, form.lstFailed}) {
        QCOMPARE(list->model()->rowCount(), 0);
        QCOMPARE(list->SelectedRow(), -1);
      }
      QVERIFY(form.edtHost->text().isEmpty());
      QVERIFY(form.edtPort->text().isEmpty());
      QCOMPARE(pool.CurrentUpstream(), Upstream{});
      QVERIFY(form.TrayIcon()->isVisible());
      QCOMPARE(form.TrayIcon()->toolTip(), QString("IRC Quillmere"));
      QVERIFY(!form.TrayIcon()->icon().isNull());
      QVERIFY(!form.isVisible());

      port = form.RelayListeningPort();
      QVERIFY(port > 0);
      QVERIFY(port != RelayPort);
      // No upstream yet: the relay takes the connection and closes it at once.
      QVERIFY(RelayClosesConnection(port));
    }
    QCOMPARE(Form1, static_cast<TForm1*>(nullptr));
    // The window took its listener along.
    QTRY_VERIFY(!OwnedSocket(TcpConnect("127.0.0.1", port)));
  }

  void aPortHeldElsewhereLeavesAWorkingWindow() {
    OwnedSocket holder(TcpListen(0));
    QVERIFY(holder);
    ProxyPool pool;
    TForm1 form(LocalPort(holder.Get()), pool);
    QCOMPARE(form.RelayListeningPort(), 0);
    QTest::keyClicks(form.edtHost, "1.2.3.4");
    QTest::keyClicks(form.edtPort, "80");
    QTest::mouseClick(form.SpeedButton3, Qt::LeftButton);
    QCOMPARE(pool.CurrentUpstream(), (Upstream{"1.2.3.4", 80}));
  }

  void changesFromAnotherThreadReachTheScreenInOrder() {
    ProxyPool pool;
    TForm1 form(0, pool);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    std::atomic<bool> done{false};
    std::thread other([&] {
      for (int i = 0; i < 200; ++i) pool.AddProxyEntry(lstWorking, Entry(i));
      for (int i = 0; i < 200; i += 2) pool.RemoveProxyEntry(lstWorking, Entry(i));
      done = true;
    });
    // Each change waits for this thread's event loop.
    QTRY_VERIFY(done.load());
    other.join();
    QCOMPARE(ShownEntries(form, 1), pool.Entries(lstWorking));
    QCOMPARE(ShownEntries(form, 1).size(), std::size_t(100));
    QVERIFY(HasColouredText(form.lstWorking, 0, QColor(0, 128, 0)));
  }

  void aVerdictOnARelayThreadShowsInTheFailedList() {
    // A port nothing listens on: the relay's connection to it fails at once.
    std::int32_t closed = 0;
    {
      OwnedSocket probe(TcpListen(0));
      closed = LocalPort(probe.Get());
    }
    ProxyPool pool;
    TForm1 form(0, pool);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::keyClicks(form.edtHost, "127.0.0.1");
    QTest::keyClicks(form.edtPort, QString::number(closed));
    QTest::mouseClick(form.SpeedButton3, Qt::LeftButton);
    // The client is let go once the verdict is in, which this thread makes.
    std::future<bool> letGo = std::async(std::launch::async, RelayClosesConnection, form.RelayListeningPort());
    QTRY_VERIFY(letGo.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
    QVERIFY(letGo.get());
    const std::string entry = "127.0.0.1:" + std::to_string(closed);
    QTRY_COMPARE(ShownEntries(form, 2), std::vector<std::string>{entry});
    QVERIFY(HasColouredText(form.lstFailed, 0, QColor(204, 0, 0)));
    QVERIFY(ShownEntries(form, 0).empty());
  }

  void aBurstOfChangesKeepsTheChosenEntry_data() {
    QTest::addColumn<int>("added");
    QTest::newRow("a few, row by row") << 6;
    QTest::newRow("many, all at once") << 400;
  }
  void aBurstOfChangesKeepsTheChosenEntry() {
    QFETCH(int, added);
    ProxyPool pool;
    for (int i : {3000, 5000, 7000}) pool.AddProxyEntry(lstFailed, Entry(i));
    TForm1 form(0, pool);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.lstFailed->SelectRow(1);
    const std::string chosen = Entry(5000);
    QCOMPARE(std::string(form.lstFailed->ListModel()->EntryAt(1)), chosen);
    std::atomic<bool> done{false};
    std::thread other([&] {
      for (int i = 0; i < added; ++i) pool.AddProxyEntry(lstFailed, Entry(i * 20));
      pool.RemoveProxyEntry(lstFailed, Entry(3000));
      done = true;
    });
    QTRY_VERIFY(done.load());
    other.join();
    QCOMPARE(ShownEntries(form, 2), pool.Entries(lstFailed));
    const int row = form.lstFailed->SelectedRow();
    QVERIFY(row >= 0);
    QCOMPARE(std::string(form.lstFailed->ListModel()->EntryAt(row)), chosen);
    QCOMPARE(form.lstFailed->currentIndex().row(), row);
  }

  void aChosenEntryThatGoesLeavesNoChoice_data() {
    QTest::addColumn<int>("added");
    QTest::newRow("row by row") << 0;
    QTest::newRow("all at once") << 100;
  }
  void aChosenEntryThatGoesLeavesNoChoice() {
    QFETCH(int, added);
    ProxyPool pool;
    for (int i : {1, 2, 3}) pool.AddProxyEntry(lstWorking, Entry(i));
    TForm1 form(0, pool);
    form.lstWorking->SelectRow(1);
    for (int i = 0; i < added; ++i) pool.AddProxyEntry(lstWorking, Entry(100 + i));
    pool.RemoveProxyEntry(lstWorking, Entry(2));
    form.CatchUp();
    QCOMPARE(ShownEntries(form, 1).size(), std::size_t(2 + added));
    QCOMPARE(form.lstWorking->SelectedRow(), -1);
  }

  void theWindowCanGoWhileAnotherThreadChangesThePool() {
    ProxyPool pool;
    std::atomic<bool> stop{false};
    std::atomic<int> added{0};
    std::thread other([&] {
      while (!stop) pool.AddProxyEntry(lstWorking, Entry(added++));
    });
    {
      TForm1 form(0, pool);
      QTest::qWait(30);
      QTRY_VERIFY(form.lstWorking->model()->rowCount() > 0);
    }
    QTest::qWait(20);
    stop = true;
    other.join();
    QCOMPARE(pool.Count(lstWorking), static_cast<std::size_t>(added.load()));
  }

  // Relay threads wait in a handover that the window never runs (its thread
  // is busy, as at the end of the program): the window's end lets each make
  // its change on its own thread at once, so none holds the process.
  void threadsWaitingInAHandoverEndWithTheWindow() {
    ProxyPool pool;
    std::atomic<int> finished{0};
    std::vector<std::thread> relays;
    {
      TForm1 form(0, pool);
      for (int i = 0; i < 4; ++i) {
        relays.emplace_back([&pool, &finished, i] {
          pool.AddProxyEntry(lstFailed, Entry(i));
          ++finished;
        });
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      QCOMPARE(finished.load(), 0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (finished.load() < 4 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    QCOMPARE(finished.load(), 4);
    for (std::thread& relay : relays) relay.join();
    QCOMPARE(pool.Count(lstFailed), std::size_t(4));
  }
};

QTEST_MAIN(PoolViewTest)
#include "pool_view_test.moc"
