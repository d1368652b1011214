// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// What each button and list does when the user uses it, and how errors of a
// handler reach the error box.
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "pool/ProxyPool.h"
#include "relay/Verdict.h"
#include "shell/FlatButton.h"
#include "shell/LimitedEdit.h"
#include "shell/Main.h"
#include "shell/Messages.h"
#include "shell/ProxyListBox.h"
#include "support/ShellTesting.h"

namespace {

// A window whose dialogs only record what they were asked.
struct Driven {
  explicit Driven(ProxyPool& pool) : form(0, pool, &tray) {
    form.dialogs().showError = [this](const QString& text) { errors.push_back(text); };
    form.dialogs().showDownloadMessage = [this] { ++downloadMessages; };
    form.dialogs().chooseFile = [this] { return chosenFile; };
    form.show();
    exposed = QTest::qWaitForWindowExposed(&form);
  }
  void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void ClickRow(ProxyListBox* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 0)).center());
  }

  ReportedTray tray;
  TForm1 form;
  bool exposed = false;
  std::vector<QString> errors;
  int downloadMessages = 0;
  std::optional<std::string> chosenFile;
};

}  // namespace

class HandlersTest : public QObject {
  Q_OBJECT

 private slots:
  void setAppliesTheFieldsAsTheUpstream() {
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    QTest::keyClicks(window.form.edtHost, "10.0.0.1");
    QTest::keyClicks(window.form.edtPort, "8080");
    QCOMPARE(pool.CurrentUpstream(), Upstream{});
    window.Click(window.form.SpeedButton3);
    QCOMPARE(pool.CurrentUpstream(), (Upstream{"10.0.0.1", 8080}));
  }

  void openImportsTheChosenFile() {
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    TemporaryListFile file("9.0.0.1:80\nproxy 10.0.0.1:3128 anonymous\n1.2.3.4:80\n");
    window.chosenFile = file.Path();
    window.Click(window.form.SpeedButton4);
    // Taken in before the click ends, while the busy pointer still shows.
    QCOMPARE(window.form.lstAll->model()->rowCount(), 3);
    QTRY_COMPARE(ShownEntries(window.form, 0),
                 (std::vector<std::string>{"1.2.3.4:80", "10.0.0.1:3128", "9.0.0.1:80"}));
    // The import ends with a random pick, which fills the fields and applies them.
    const Upstream upstream = pool.CurrentUpstream();
    QVERIFY(!upstream.host.empty());
    QTRY_COMPARE(window.form.edtHost->text().toStdString(), upstream.host);
    QCOMPARE(window.form.edtPort->text().toInt(), upstream.port);
    QVERIFY(window.errors.empty());
  }

  void aCancelledOpenChangesNothing() {
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    window.chosenFile.reset();
    window.Click(window.form.SpeedButton4);
    QTest::qWait(20);
    QCOMPARE(pool.Count(lstAll), std::size_t(0));
    QVERIFY(window.errors.empty());
  }

  void aMissingFileEndsInTheErrorBox() {
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    window.chosenFile = "/nonexistent/quillmere/proxies.txt";
    window.Click(window.form.SpeedButton4);
    QTRY_COMPARE(window.errors.size(), std::size_t(1));
    QCOMPARE(window.errors[0], QString("File not found."));
  }

  // A FIFO nobody writes to would block the window in the open itself.
  void aFifoEndsInTheErrorBoxAtOnce() {
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("proxies.fifo"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    window.chosenFile = fifo.toStdString();
    window.Click(window.form.SpeedButton4);
    QTRY_COMPARE(window.errors.size(), std::size_t(1));
    QCOMPARE(window.errors[0], QString("Not a regular file."));
    QCOMPARE(pool.Count(lstAll), std::size_t(0));
  }

  // The real dialog: a path typed into its file-name box and Enter while the
  // completion popup is open. Nothing of the dialog may stay on the screen,
  // and the next click on a list must reach the list.
  void aTypedPathAndEnterLeaveNothingOverTheWindow() {
    ProxyPool pool;
    TForm1 form(0, pool);
    std::vector<QString> errors;
    form.dialogs().showError = [&](const QString& text) { errors.push_back(text); };
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    TemporaryListFile file("1.2.3.4:80\n5.6.7.8:90\n");
    const QString path = QString::fromStdString(file.Path());
    const QString head = path.left(path.size() - 3);

    // Drives the modal dialog from inside its own event loop.
    int step = 0;
    int waited = 0;
    bool popupSeen = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
      if (!name || !name->isVisible()) return;
      if (step == 0) {
        QTest::keyClicks(name, head);
        step = 1;
      } else if (step == 1) {
        const auto* completer = name->completer();
        popupSeen = completer && completer->popup() && completer->popup()->isVisible();
        if (!popupSeen && ++waited < 100) return;
        QTest::keyClicks(name, path.right(3));
        QTest::keyClick(name, Qt::Key_Return);
        step = 2;
      }
    });
    driver.start(20);
    QTest::mouseClick(form.SpeedButton4, Qt::LeftButton);
    driver.stop();
    QVERIFY(popupSeen);
    QCOMPARE(errors.size(), std::size_t(0));
    QTRY_COMPARE(ShownEntries(form, 0), (std::vector<std::string>{"1.2.3.4:80", "5.6.7.8:90"}));
    QCOMPARE(QApplication::activePopupWidget(), nullptr);

    const QPoint row = form.lstAll->visualRect(form.lstAll->model()->index(1, 0)).center();
    QTest::mouseClick(form.lstAll->viewport(), Qt::LeftButton, {}, row);
    QCOMPARE(form.lstAll->SelectedRow(), 1);
    QCOMPARE(form.edtHost->text(), QString("5.6.7.8"));
  }

  void downloadShowsItsMessageAndChangesNothing() {
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    window.Click(window.form.SpeedButton5);
    window.Click(window.form.SpeedButton5);
    QCOMPARE(window.downloadMessages, 2);
    QCOMPARE(pool.Count(lstAll), std::size_t(0));
    QCOMPARE(pool.CurrentUpstream(), Upstream{});
  }

  void hideHidesAndTheTrayPressBringsItBack() {
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    window.form.move(40, 30);
    const QPoint place = window.form.pos();
    window.Click(window.form.SpeedButton2);
    QVERIFY(!window.form.isVisible());
    QVERIFY(window.form.TrayIcon()->isVisible());
    // A right click, a middle click and the second half of a double click do nothing.
    for (auto reason :
         {QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::DoubleClick}) {
      emit window.form.TrayIcon()->activated(reason);
      QVERIFY(!window.form.isVisible());
    }
    emit window.form.TrayIcon()->activated(QSystemTrayIcon::Trigger);
    QVERIFY(window.form.isVisible());
    QCOMPARE(window.form.pos(), place);
  }

  void closeEndsTheWindow() {
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    window.Click(window.form.SpeedButton1);
    QVERIFY(!window.form.isVisible());
  }

  void aListClickFillsTheFieldsButNotTheUpstream_data() {
    QTest::addColumn<int>("list");
    QTest::newRow("all") << 0;
    QTest::newRow("working") << 1;
    QTest::newRow("failed") << 2;
  }
  void aListClickFillsTheFieldsButNotTheUpstream() {
    QFETCH(int, list);
    const ProxyListId ids[] = {lstAll, lstWorking, lstFailed};
    ProxyPool pool;
    pool.AddProxyEntry(ids[list], "10.0.0.1:8080");
    pool.AddProxyEntry(ids[list], "1:2:3:4:80");
    Driven window(pool);
    QVERIFY(window.exposed);
    // Start-up picked from the list of all proxies already; the clicks must not
    // change what it applied.
    const Upstream before = pool.CurrentUpstream();
    ProxyListBox* boxes[] = {window.form.lstAll, window.form.lstWorking, window.form.lstFailed};
    // Sorted by characters: "10." comes before "1:".
    window.ClickRow(boxes[list], 0);
    QCOMPARE(window.form.edtHost->text(), QString("10.0.0.1"));
    QCOMPARE(window.form.edtPort->text(), QString("8080"));
    QCOMPARE(pool.FieldText(edtHost), std::string("10.0.0.1"));
    QCOMPARE(pool.FieldText(edtPort), std::string("8080"));
    window.ClickRow(boxes[list], 1);
    QCOMPARE(window.form.edtHost->text(), QString("1"));
    QCOMPARE(window.form.edtPort->text(), QString("2:3:4:80"));
    QCOMPARE(pool.CurrentUpstream(), before);
    QVERIFY(window.errors.empty());
  }

  void aListWithoutSelectionComplains_data() {
    QTest::addColumn<int>("list");
    QTest::newRow("all") << 0;
    QTest::newRow("working") << 1;
    QTest::newRow("failed") << 2;
  }
  void aListWithoutSelectionComplains() {
    QFETCH(int, list);
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    QTest::keyClicks(window.form.edtHost, "kept");
    ProxyListBox* boxes[] = {window.form.lstAll, window.form.lstWorking, window.form.lstFailed};
    QTest::mouseClick(boxes[list]->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QTRY_COMPARE(window.errors.size(), std::size_t(1));
    // The message ends in ")", so no full stop follows.
    QCOMPARE(window.errors[0], QString("List index out of bounds (-1)"));
    QCOMPARE(window.form.edtHost->text(), QString("kept"));
  }

  void selectionKeysRunTheHandlerToo() {
    ProxyPool pool;
    pool.AddProxyEntry(lstWorking, "1.1.1.1:1");
    pool.AddProxyEntry(lstWorking, "2.2.2.2:2");
    Driven window(pool);
    QVERIFY(window.exposed);
    window.form.lstWorking->setFocus();
    QTest::keyClick(window.form.lstWorking, Qt::Key_Down);
    QCOMPARE(window.form.edtHost->text(), QString("1.1.1.1"));
    QTest::keyClick(window.form.lstWorking, Qt::Key_Down);
    QCOMPARE(window.form.edtHost->text(), QString("2.2.2.2"));
    QCOMPARE(window.form.edtPort->text(), QString("2"));
  }

  void changesMadeByTheProgramRunNoHandler() {
    ProxyPool pool;
    pool.AddProxyEntry(lstWorking, "1.1.1.1:1");
    Driven window(pool);
    QVERIFY(window.exposed);
    window.form.lstWorking->SelectRow(0);
    pool.AddProxyEntry(lstWorking, "0.0.0.0:0");
    pool.RemoveProxyEntry(lstWorking, "1.1.1.1:1");
    window.form.CatchUp();
    QTest::qWait(20);
    QVERIFY(window.form.edtHost->text().isEmpty());
    QVERIFY(window.errors.empty());
  }

  // A relay thread's verdict that comes while the import runs lands after it,
  // and the relay thread does not wait for that: the entry goes into lstAll
  // first, then the Working verdict leaves it there. Before the import, the
  // verdict would have kept it out of lstAll.
  void aVerdictDuringAnImportLandsAfterIt() {
    ProxyPool pool;
    Driven window(pool);
    QVERIFY(window.exposed);
    TemporaryListFile file("5.5.5.5:5\n6.6.6.6:6\n");
    std::atomic<bool> judged{false};
    std::thread relay;
    window.form.dialogs().chooseFile = [&] {
      relay = std::thread([&] {
        ApplyVerdict(pool, "5.5.5.5:5", Verdict::Working);
        judged = true;
      });
      // Give the verdict time to be handed over before the import starts.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return std::optional<std::string>(file.Path());
    };
    window.Click(window.form.SpeedButton4);
    QVERIFY(judged.load());
    relay.join();
    QTRY_COMPARE(ShownEntries(window.form, 1), std::vector<std::string>{"5.5.5.5:5"});
    QCOMPARE(ShownEntries(window.form, 0), (std::vector<std::string>{"5.5.5.5:5", "6.6.6.6:6"}));
  }

  void errorBoxText_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << QByteArray("File not found") << "File not found.";
    QTest::newRow("digit") << QByteArray("I/O error 32") << "I/O error 32.";
    QTest::newRow("full stop") << QByteArray("Done.") << "Done.";
    QTest::newRow("parenthesis") << QByteArray("List index out of bounds (-1)")
                                 << "List index out of bounds (-1)";
    QTest::newRow("exclamation") << QByteArray("Stop!") << "Stop!";
    QTest::newRow("blank") << QByteArray("trailing ") << "trailing ";
    QTest::newRow("hyphen, just below the stop") << QByteArray("a-") << "a-";
    QTest::newRow("slash, just above it") << QByteArray("a/") << "a/.";
    QTest::newRow("high byte counts as unsigned") << QByteArray("caf\xe9") << QString::fromLatin1("caf\xe9.");
    QTest::newRow("empty") << QByteArray() << "";
  }
  void errorBoxText() {
    QFETCH(QByteArray, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorBoxText(std::string_view(message.constData(), message.size())), shown);
  }
};

QTEST_MAIN(HandlersTest)
#include "handlers_test.moc"
