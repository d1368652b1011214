// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The host and port fields: typing limits that bind the user alone, and the
// fields kept equal to the pool's field texts both ways.
#include <QtTest>

#include <thread>

#include "pool/ProxyPool.h"
#include "shell/LimitedEdit.h"
#include "shell/Main.h"
#include "shell/ProxyListBox.h"

class FieldsTest : public QObject {
  Q_OBJECT

 private slots:
  void typingStopsAtTheLimit() {
    LimitedEdit host(15), port(5);
    QTest::keyClicks(&host, "123.123.123.1234567");
    QTest::keyClicks(&port, "1234567");
    QCOMPARE(host.text(), QString("123.123.123.123"));
    QCOMPARE(port.text(), QString("12345"));
  }

  void textSetByTheProgramStaysWhole() {
    LimitedEdit port(5);
    port.SetProgramText("123456789");
    QCOMPARE(port.text(), QString("123456789"));
    // Nothing more can be typed while the text is over the limit...
    port.setCursorPosition(9);
    QTest::keyClicks(&port, "0");
    QCOMPARE(port.text(), QString("123456789"));
    // ...deleting works, and typing resumes only below the limit.
    for (int i = 0; i < 4; ++i) QTest::keyClick(&port, Qt::Key_Backspace);
    QCOMPARE(port.text(), QString("12345"));
    QTest::keyClicks(&port, "6");
    QCOMPARE(port.text(), QString("12345"));
    QTest::keyClick(&port, Qt::Key_Backspace);
    QTest::keyClicks(&port, "99");
    QCOMPARE(port.text(), QString("12349"));
  }

  void theSameTextLeavesTheCursorAlone() {
    LimitedEdit host(15);
    host.SetProgramText("10.0.0.1");
    host.setCursorPosition(2);
    host.SetProgramText("10.0.0.1");
    QCOMPARE(host.cursorPosition(), 2);
    host.SetProgramText("10.0.0.2");
    QCOMPARE(host.text(), QString("10.0.0.2"));
  }

  void typingIntoTheWindowReachesThePool() {
    ProxyPool pool;
    TForm1 form(0, pool);
    QTest::keyClicks(form.edtHost, "proxy.example");
    QTest::keyClicks(form.edtPort, "3128");
    QCOMPARE(pool.FieldText(edtHost), std::string("proxy.example"));
    QCOMPARE(pool.FieldText(edtPort), std::string("3128"));
    QTest::keyClick(form.edtPort, Qt::Key_Backspace);
    QCOMPARE(pool.FieldText(edtPort), std::string("312"));
    // Typing changes no upstream until "Set!".
    QCOMPARE(pool.CurrentUpstream(), Upstream{});
  }

  void aPickShowsLongTextsWhole() {
    ProxyPool pool;
    TForm1 form(0, pool);
    pool.AddProxyEntry(lstAll, "1234.1234.1234.1234:123456");
    pool.SelectRandomProxy();
    QTRY_COMPARE(form.edtPort->text(), QString("123456"));
    QCOMPARE(form.edtHost->text(), QString("1234.1234.1234.1234"));
    QCOMPARE(pool.CurrentUpstream(), (Upstream{"1234.1234.1234.1234", 123456}));
  }

  void aPickOnAnotherThreadOverwritesTheFields() {
    ProxyPool pool;
    TForm1 form(0, pool);
    QTest::keyClicks(form.edtHost, "typed");
    pool.AddProxyEntry(lstAll, "7.7.7.7:77");
    std::thread relay([&pool] { pool.SelectRandomProxy(); });
    // The pick is handed to this thread and waits for its event loop.
    QTRY_COMPARE(form.edtHost->text(), QString("7.7.7.7"));
    relay.join();
    QCOMPARE(form.edtPort->text(), QString("77"));
  }

  void aTextBeyondLatin1BecomesOneByteEach() {
    ProxyPool pool;
    TForm1 form(0, pool);
    // Key by key, as a keyboard with that letter types it.
    for (QChar c : QString::fromLatin1("h\xf6st")) {
      QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(form.edtHost, &key);
    }
    QCOMPARE(form.edtHost->text(), QString::fromLatin1("h\xf6st"));
    QCOMPARE(pool.FieldText(edtHost), std::string("h\xf6st"));
  }
};

QTEST_MAIN(FieldsTest)
#include "fields_test.moc"
