// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The flat buttons and the message boxes, on their own.
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <QAccessible>

#include <functional>
#include <utility>

#include "pool/ProxyPool.h"
#include "shell/FlatButton.h"
#include "shell/LimitedEdit.h"
#include "shell/Main.h"
#include "shell/Messages.h"
#include "shell/ProxyListBox.h"
#include "support/ShellTesting.h"

namespace {

const QRgb kBelow = qRgb(10, 40, 160);

// A 5 x 3 glyph on lime with a white pixel in its middle.
QImage SmallGlyph() {
  QImage glyph(5, 3, QImage::Format_RGB32);
  glyph.fill(QColor(0, 255, 0));
  glyph.setPixel(2, 1, qRgb(255, 255, 255));
  return glyph;
}

// A button of 15 x 13 on a plain blue ground; the glyph lands at (5, 5).
struct Bench {
  Bench() {
    ground.setFixedSize(40, 40);
    QPalette palette = ground.palette();
    palette.setColor(QPalette::Window, QColor(kBelow));
    ground.setPalette(palette);
    ground.setAutoFillBackground(true);
    button = new FlatButton(&ground);
    button->setGeometry(10, 10, 15, 13);
    button->SetGlyph(SmallGlyph());
    ground.show();
    exposed = QTest::qWaitForWindowExposed(&ground);
  }
  QRgb At(int x, int y) { return ground.grab().toImage().pixel(10 + x, 10 + y); }

  QWidget ground;
  FlatButton* button = nullptr;
  bool exposed = false;
};

// Runs `examine` on the modal box once it is open, then closes the box. Polls
// rather than waits: the box's own event loop is what runs the poll.
void OnModalBox(std::function<void(QWidget*)> examine) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, examine] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    poll->stop();
    poll->deleteLater();
    examine(box);
    box->close();
  });
  poll->start();
}

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void aButtonAtRestShowsItsGlyphAlone() {
    Bench bench;
    QVERIFY(bench.exposed);
    QCOMPARE(bench.button->focusPolicy(), Qt::TabFocus);  // Tab only: a click moves no focus
    QCOMPARE(bench.At(7, 6), qRgb(255, 255, 255));
    // The key pixels and the edge show what lies below.
    QCOMPARE(bench.At(5, 5), kBelow);
    QCOMPARE(bench.At(0, 0), kBelow);
    QCOMPARE(bench.At(14, 12), kBelow);
  }

  void aHeldButtonSinksAndShiftsItsGlyph() {
    Bench bench;
    QVERIFY(bench.exposed);
    QTest::mouseMove(bench.button, QPoint(7, 6));
    QTRY_VERIFY(bench.button->underMouse());
    QTest::mousePress(bench.button, Qt::LeftButton, {}, QPoint(7, 6));
    QVERIFY(bench.button->isDown());
    QCOMPARE(bench.At(8, 7), qRgb(255, 255, 255));
    QCOMPARE(bench.At(7, 6), kBelow);
    // Sunken: shadow above and left, light below and right.
    const QPalette palette = bench.button->palette();
    QCOMPARE(bench.At(0, 0), palette.color(QPalette::Dark).rgb());
    QCOMPARE(bench.At(14, 12), palette.color(QPalette::Light).rgb());
    // Held with the pointer moved off: no edge at all, the glyph back in place.
    QTest::mouseMove(bench.button, QPoint(25, 20));
    QTRY_VERIFY(!bench.button->isDown());
    QCOMPARE(bench.At(0, 0), kBelow);
    QCOMPARE(bench.At(14, 12), kBelow);
    QCOMPARE(bench.At(7, 6), qRgb(255, 255, 255));
    QTest::mouseMove(bench.button, QPoint(7, 6));
    QTRY_VERIFY(bench.button->isDown());
    QTest::mouseRelease(bench.button, Qt::LeftButton, {}, QPoint(7, 6));
    QVERIFY(!bench.button->isDown());
  }

  void aButtonUnderThePointerIsRaised() {
    Bench bench;
    QVERIFY(bench.exposed);
    QTest::mouseMove(bench.button, QPoint(7, 6));
    QTRY_VERIFY(bench.button->underMouse());
    const QPalette palette = bench.button->palette();
    QTRY_COMPARE(bench.At(0, 0), palette.color(QPalette::Light).rgb());
    QCOMPARE(bench.At(14, 12), palette.color(QPalette::Dark).rgb());
    QCOMPARE(bench.At(7, 6), qRgb(255, 255, 255));
  }

  void aButtonActsOnALeftReleaseOverIt() {
    Bench bench;
    QVERIFY(bench.exposed);
    QSignalSpy clicks(bench.button, &QAbstractButton::clicked);
    QTest::mouseClick(bench.button, Qt::RightButton);
    QTest::mouseClick(bench.button, Qt::MiddleButton);
    QCOMPARE(clicks.count(), 0);
    QTest::mousePress(bench.button, Qt::LeftButton, {}, QPoint(7, 6));
    QTest::mouseRelease(bench.button, Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(clicks.count(), 0);
    QTest::mouseClick(bench.button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
  }

  // What a screen reader is told of every control, and Tab through all ten in
  // the order of the picture.
  void everyControlIsNamedAndTabReachesThemInOrder() {
    ProxyPool pool;
    pool.AddProxyEntry(lstFailed, "1.2.3.4:80");
    ReportedTray tray;
    TForm1 form(0, pool, &tray);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form);
    QCOMPARE(window->text(QAccessible::Name), QString("IRC Quillmere"));
    struct Said {
      QWidget* control;
      QString name;
      QAccessible::Role role;
    };
    const Said controls[] = {{form.SpeedButton2, "Hide", QAccessible::Button},
                             {form.SpeedButton1, "Close", QAccessible::Button},
                             {form.lstAll, "All proxies", QAccessible::List},
                             {form.lstWorking, "Working proxies", QAccessible::List},
                             {form.lstFailed, "Failed proxies", QAccessible::List},
                             {form.SpeedButton4, "Open a proxy list", QAccessible::Button},
                             {form.SpeedButton5, "Proxies", QAccessible::Button},
                             {form.edtHost, "Host", QAccessible::EditableText},
                             {form.edtPort, "Port", QAccessible::EditableText},
                             {form.SpeedButton3, "Set!", QAccessible::Button}};
    for (const Said& said : controls) {
      QAccessibleInterface* face = QAccessible::queryAccessibleInterface(said.control);
      QCOMPARE(face->text(QAccessible::Name), said.name);
      QCOMPARE(face->role(), said.role);
    }
    for (auto [field, label] : {std::pair{form.edtHost, form.Label2}, std::pair{form.edtPort, form.Label1}}) {
      const auto labelled = QAccessible::queryAccessibleInterface(field)->relations(QAccessible::Label);
      QVERIFY(!labelled.isEmpty());
      QCOMPARE(labelled.first().first->object(), static_cast<QObject*>(label));
    }

    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.SpeedButton2->setFocus(Qt::TabFocusReason);
    for (const Said& said : controls) {
      QCOMPARE(QApplication::focusWidget(), said.control);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(QApplication::focusWidget(), controls[0].control);  // and round again
  }

  void theDownloadMessage() {
    DownloadMessageBox box;
    QCOMPARE(box.windowTitle(), QString("IRC Quillmere"));
    const auto labels = box.findChildren<QLabel*>();
    QCOMPARE(labels.size(), 1);  // the text, and no icon beside it
    QLabel* text = labels.first();
    QCOMPARE(text->text(), DownloadMessageText());
    QVERIFY(text->text().startsWith("I am sorry, downloading of proxies is currently not implemented. "));
    QVERIFY(text->text().endsWith("please visit: https://irc-quillmere.example.org/"));
    QVERIFY(text->wordWrap());
    QCOMPARE(box.WrapWidth(), QGuiApplication::primaryScreen()->geometry().width() / 2);
    QVERIFY(text->width() <= box.WrapWidth());
    QVERIFY(text->height() > 2 * text->fontMetrics().height());  // wrapped
    const auto buttons = box.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons.first()->text().remove('&'), QString("OK"));
    QVERIFY(buttons.first()->isDefault());
    const QPoint middle = QGuiApplication::primaryScreen()->geometry().center();
    QVERIFY((box.frameGeometry().center() - middle).manhattanLength() <= 2);
  }

  void enterAndEscapeCloseTheDownloadMessage() {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      DownloadMessageBox box;
      box.show();
      QVERIFY(QTest::qWaitForWindowActive(&box));
      QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &box, key);
      QVERIFY(!box.isVisible());
    }
  }

  void theErrorBoxStopsWithOneButton() {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    OnModalBox([&](QWidget* shown) {
      auto* box = qobject_cast<QMessageBox*>(shown);
      QVERIFY(box);
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      buttons = static_cast<int>(box->buttons().size());
    });
    ShowErrorBox(nullptr, "File not found.");
    QCOMPARE(title, QString("IRC Quillmere"));
    QCOMPARE(text, QString("File not found."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, 1);
  }

  void theTrayPressBringsAnOpenBoxToTheFront() {
    ProxyPool pool;
    ReportedTray tray;
    TForm1 form(0, pool, &tray);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    bool boxInFront = false;
    bool shown = false;
    QString text;
    OnModalBox([&](QWidget* box) {
      text = static_cast<QMessageBox*>(box)->text();
      form.hide();
      emit form.TrayIcon()->activated(QSystemTrayIcon::Trigger);
      shown = form.isVisible();
      QElapsedTimer waited;
      waited.start();
      while (QApplication::activeWindow() != box && waited.elapsed() < 2000) QTest::qWait(5);
      boxInFront = QApplication::activeWindow() == box;
    });
    // The window's own error box: a click in an empty list.
    QTest::mouseClick(form.lstAll->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    QTRY_VERIFY(!text.isEmpty());
    QCOMPARE(text, QString("List index out of bounds (-1)"));
    QVERIFY(shown);
    QVERIFY(boxInFront);
  }
};

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
