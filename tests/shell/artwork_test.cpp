// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The pictures built into the program: their sizes, colour depth and key
// colours, and the rounded face of the background.
#include <QImage>
#include <QtTest>

#include "shell/Main.h"

namespace {

QImage Load(const QString& name) {
  ApplicationIcon();  // makes the built-in pictures available
  return QImage(":/artwork/" + name);
}

bool InsideRoundedFace(int x, int y) {
  const double cx = x + 0.5, cy = y + 0.5, r = 40;
  if (cx < 5 || cx > 596 || cy < 3 || cy > 351) return false;
  const double dx = std::max({5 + r - cx, 0.0, cx - (596 - r)});
  const double dy = std::max({3 + r - cy, 0.0, cy - (351 - r)});
  return dx * dx + dy * dy <= r * r;
}

constexpr QRgb kLime = 0xFF00FF00;
constexpr QRgb kMagenta = 0xFFFF00FF;

}  // namespace

class ArtworkTest : public QObject {
  Q_OBJECT

 private slots:
  void picturesHaveTheirSizesAndKeys_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<uint>("key");
    QTest::newRow("plate of the host field") << "plate-host.png" << QSize(164, 30) << uint(kLime);
    QTest::newRow("plate of the port field") << "plate-port.png" << QSize(84, 30) << uint(kLime);
    QTest::newRow("close") << "glyph-close.png" << QSize(15, 13) << uint(kLime);
    QTest::newRow("hide") << "glyph-hide.png" << QSize(15, 13) << uint(kLime);
    QTest::newRow("open") << "glyph-open.png" << QSize(70, 16) << uint(kLime);
    QTest::newRow("download") << "glyph-download.png" << QSize(70, 17) << uint(kMagenta);
  }
  void picturesHaveTheirSizesAndKeys() {
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(uint, key);
    const QImage picture = Load(name);
    QCOMPARE(picture.size(), size);
    QCOMPARE(picture.pixel(0, size.height() - 1), QRgb(key));
    // Something is drawn, and the key leaves a see-through part.
    int keyed = 0, lime = 0;
    for (int y = 0; y < size.height(); ++y) {
      for (int x = 0; x < size.width(); ++x) {
        keyed += picture.pixel(x, y) == key;
        lime += picture.pixel(x, y) == kLime;
      }
    }
    QVERIFY(keyed > 0);
    QVERIFY(keyed < size.width() * size.height());
    // A lime pixel the glyph draws would be a hole in the window.
    if (key != kLime) QCOMPARE(lime, 0);
  }

  void theLongGlyphsUseAPalette() {
    for (const char* name : {"glyph-open.png", "glyph-download.png"}) {
      const QImage glyph = Load(name);
      QCOMPARE(glyph.format(), QImage::Format_Indexed8);
      QVERIFY(glyph.colorCount() <= 256);
    }
  }

  void theBackgroundIsLimeOutsideTheRoundedFaceOnly() {
    const QImage background = Load("background.png").convertToFormat(QImage::Format_RGB32);
    QCOMPARE(background.size(), QSize(602, 356));
    int wrong = 0;
    for (int y = 0; y < background.height(); ++y) {
      for (int x = 0; x < background.width(); ++x) {
        const bool lime = background.pixel(x, y) == kLime;
        if (lime == InsideRoundedFace(x, y)) ++wrong;
      }
    }
    QCOMPARE(wrong, 0);
    // A night sky above, lighter clouds below.
    const QColor sky = background.pixelColor(300, 6);
    QVERIFY(sky.blue() > sky.red() && sky.value() < 100);
    const QColor cloud = background.pixelColor(300, 215);
    QVERIFY(cloud.value() > 150);
  }

  void theIconIsASmallFlaskOnNothing() {
    const QImage icon = Load("irc-quillmere.png");
    QCOMPARE(icon.size(), QSize(32, 32));
    QVERIFY(icon.colorCount() <= 17);  // sixteen colours and the see-through one
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(31, 0)), 0);
    // Blue liquid in the ball.
    const QColor liquid = icon.pixelColor(16, 24);
    QVERIFY(liquid.blue() > 100 && liquid.red() < 60);
    QCOMPARE(ApplicationIcon().availableSizes().value(0), QSize(32, 32));
  }
};

QTEST_MAIN(ArtworkTest)
#include "artwork_test.moc"
