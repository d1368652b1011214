// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The window on a screen at scale 2: drawn from its own 2x pictures, not
// enlarged from the 1x ones, in the same logical layout.
#include <QImage>
#include <QtTest>

#include "pool/ProxyPool.h"
#include "shell/Main.h"
#include "support/ShellTesting.h"

class HiDpiTest : public QObject {
  Q_OBJECT

 private slots:
  void atScaleTwoTheWindowShowsTheTwiceAsFinePictures() {
    ProxyPool pool;
    TForm1 form(0, pool);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.devicePixelRatioF(), 2.0);
    QCOMPARE(form.size(), QSize(600, 354));

    const QImage shown = FaceOf(form);
    QCOMPARE(shown.size(), QSize(1200, 708));
    const QImage fine = QImage(":/artwork/background@2x.png").convertToFormat(QImage::Format_RGB32);
    const QImage coarse = QImage(":/artwork/background.png")
                              .convertToFormat(QImage::Format_RGB32)
                              .scaled(fine.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QCOMPARE(fine.size(), QSize(1204, 712));
    // The letters, above every control: each device pixel as in the 2x picture,
    // and many unlike the enlarged 1x one.
    int unlikeCoarse = 0;
    for (int y = 40; y < 400; ++y) {
      for (int x = 80; x < 1000; ++x) {
        QCOMPARE(shown.pixel(x, y), fine.pixel(x, y));
        if (shown.pixel(x, y) != coarse.pixel(x, y)) ++unlikeCoarse;
      }
    }
    QVERIFY2(unlikeCoarse > 10000, qPrintable(QString::number(unlikeCoarse)));
    // The see-through corner stays out of the outline; the face is in it.
    QVERIFY(!form.mask().contains(QPoint(1, 1)));
    QVERIFY(form.mask().contains(QPoint(300, 100)));
  }
};

int main(int argc, char** argv) {
  qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  HiDpiTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "hidpi_test.moc"
