// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The window's face: where every control sits, what lies over what, where the
// keyboard goes, and the see-through margin around the rounded picture.
#include <QLabel>
#include <QRegion>
#include <QtTest>

#include "pool/ProxyPool.h"
#include "shell/FlatButton.h"
#include "shell/LimitedEdit.h"
#include "shell/Main.h"
#include "shell/Picture.h"
#include "shell/ProxyListBox.h"
#include "shell/WindowShape.h"
#include "support/ShellTesting.h"

class LayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void everyControlHasItsPlace() {
    ProxyPool pool;
    TForm1 form(0, pool);
    const std::pair<QWidget*, QRect> places[] = {
        {form.Image1, {0, 0, 607, 358}},         {form.SpeedButton2, {520, 8, 20, 20}},
        {form.SpeedButton1, {544, 8, 20, 20}},   {form.lstAll, {24, 224, 169, 81}},
        {form.lstWorking, {216, 224, 169, 81}},  {form.lstFailed, {408, 224, 169, 81}},
        {form.SpeedButton4, {45, 308, 89, 19}},  {form.SpeedButton5, {45, 328, 89, 19}},
        {form.Image2, {200, 312, 169, 33}},      {form.edtHost, {212, 317, 145, 21}},
        {form.Image3, {424, 312, 89, 33}},       {form.edtPort, {436, 317, 55, 21}},
        {form.SpeedButton3, {512, 315, 49, 25}},
    };
    for (const auto& [widget, rect] : places) {
      QCOMPARE(widget->geometry(), rect);
      QVERIFY(!widget->objectName().isEmpty());
      QCOMPARE(form.findChild<QWidget*>(widget->objectName()), widget);
    }
    QCOMPARE(form.size(), QSize(600, 354));
    QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(form.minimumSize(), form.maximumSize());
  }

  void labelsAreSizedToTheirTextBesideTheirPlates() {
    ProxyPool pool;
    TForm1 form(0, pool);
    QCOMPARE(form.Label2->text(), QString("Host"));
    QCOMPARE(form.Label1->text(), QString("Port"));
    QCOMPARE(form.Label2->pos(), QPoint(152, 318));
    QCOMPARE(form.Label1->pos(), QPoint(376, 318));
    for (QLabel* label : {form.Label1, form.Label2}) {
      const QFontMetrics metrics(label->font());
      QVERIFY(label->width() >= metrics.horizontalAdvance(label->text()));
      QVERIFY2(label->width() <= 48 && label->height() <= 22, "a label much larger than its text");
    }
    // Neither caption runs into the white plate to its right.
    QVERIFY(form.Label2->geometry().right() < form.Image2->x());
    QVERIFY(form.Label1->geometry().right() < form.Image3->x());
  }

  void picturesAndButtonsLieUnderTheListsAndFields() {
    ProxyPool pool;
    TForm1 form(0, pool);
    const QObjectList stack = form.children();
    const QWidget* painted[] = {form.Image1,       form.SpeedButton1, form.SpeedButton2, form.Image2,
                                form.Image3,       form.Label1,       form.Label2,       form.SpeedButton3,
                                form.SpeedButton4, form.SpeedButton5};
    for (std::size_t i = 1; i < std::size(painted); ++i) {
      QVERIFY2(stack.indexOf(painted[i - 1]) < stack.indexOf(painted[i]), "painting order");
    }
    for (const QWidget* native : std::initializer_list<const QWidget*>{
             form.lstAll, form.lstWorking, form.lstFailed, form.edtHost, form.edtPort}) {
      QVERIFY(stack.indexOf(native) > stack.indexOf(form.SpeedButton5));
    }
  }

  // The pictures and the labels are never in Tab's way (the controls' own
  // order is ControlsTest's).
  void picturesAndLabelsTakeNoFocus() {
    ProxyPool pool;
    TForm1 form(0, pool);
    for (QWidget* still :
         std::initializer_list<QWidget*>{form.Image1, form.Image2, form.Image3, form.Label1, form.Label2}) {
      QCOMPARE(still->focusPolicy(), Qt::NoFocus);
    }
  }

  void fontsAndColoursFollowTheLayout() {
    ProxyPool pool;
    pool.AddProxyEntry(lstAll, "1.2.3.4:80");
    TForm1 form(0, pool);
    const QString family = form.lstAll->font().family();
    QVERIFY2(family == "Verdana" || family == "DejaVu Sans", qPrintable(family));
    for (ProxyListBox* list : {form.lstAll, form.lstWorking, form.lstFailed}) {
      QCOMPARE(list->font().pixelSize(), 13);
    }
    QCOMPARE(form.lstAll->palette().color(QPalette::Text), QColor(0, 0, 0));
    QCOMPARE(form.lstWorking->palette().color(QPalette::Text), QColor(0, 128, 0));
    QCOMPARE(form.lstFailed->palette().color(QPalette::Text), QColor(204, 0, 0));
    QCOMPARE(form.edtHost->font().pixelSize(), 16);
    QCOMPARE(form.edtPort->font().pixelSize(), 16);
    QVERIFY(!form.edtHost->hasFrame());
    QCOMPARE(form.Label1->font().pixelSize(), 16);
    QVERIFY(form.Label1->font().bold());
    QCOMPARE(form.Label1->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(form.SpeedButton3->text(), QString("Set!"));
    QCOMPARE(form.SpeedButton3->font().pixelSize(), 19);
    QVERIFY(!form.SpeedButton3->font().bold());

    // Five rows of 16 pixels fill a list box.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.lstAll->visualRect(form.lstAll->model()->index(0, 0)).height(), 16);
    QCOMPARE(form.lstAll->frameWidth(), 0);
  }

  void theMarginAroundTheRoundedFaceIsSeeThrough() {
    ProxyPool pool;
    TForm1 form(0, pool);
    const QRegion shape = form.mask();
    QVERIFY(!shape.isEmpty());
    // Left, right, top and bottom edges of the face across its middle.
    auto firstInside = [&](QPoint from, QPoint step) {
      for (QPoint at = from; QRect(0, 0, 600, 354).contains(at); at += step) {
        if (shape.contains(at)) return at;
      }
      return QPoint(-1, -1);
    };
    QCOMPARE(firstInside({0, 177}, {1, 0}).x(), 5);
    QCOMPARE(firstInside({599, 177}, {-1, 0}).x(), 595);
    QCOMPARE(firstInside({300, 0}, {0, 1}).y(), 3);
    QCOMPARE(firstInside({300, 353}, {0, -1}).y(), 350);
    // The corners are round: well inside the rectangle's corner, still outside.
    for (QPoint corner : {QPoint(8, 6), QPoint(592, 6), QPoint(8, 347), QPoint(592, 347)}) {
      QVERIFY2(!shape.contains(corner), "corner");
    }
    QVERIFY(shape.contains(QPoint(45, 45)));
  }

  void noKeyColourShowsInsideTheFace() {
    ProxyPool pool;
    TForm1 form(0, pool);
    const QImage face = FaceOf(form);
    const QRegion shape = form.mask();
    int stray = 0;
    for (int y = 0; y < face.height(); ++y) {
      for (int x = 0; x < face.width(); ++x) {
        const bool key = face.pixel(x, y) == kKeyColour;
        if (key == shape.contains(QPoint(x, y))) ++stray;
      }
    }
    QCOMPARE(stray, 0);
    // The plates' own lime corners are not drawn: the clouds show there.
    QVERIFY(face.pixel(200, 312) != kKeyColour);
  }

  void theWindowComesUpCentred_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("1024x768") << QSize(1024, 768) << QPoint(212, 207);
    QTest::newRow("odd sizes truncate") << QSize(1025, 769) << QPoint(212, 207);
    QTest::newRow("1920x1080") << QSize(1920, 1080) << QPoint(660, 363);
    QTest::newRow("narrower than the window") << QSize(500, 300) << QPoint(0, 0);
    QTest::newRow("one pixel short") << QSize(599, 353) << QPoint(0, 0);
  }
  void theWindowComesUpCentred() {
    QFETCH(QSize, screen);
    QFETCH(QPoint, expected);
    QCOMPARE(CentredPosition(screen, QSize(600, 354)), expected);
  }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
