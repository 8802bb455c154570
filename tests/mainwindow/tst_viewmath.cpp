// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's small computations: rounding, the header gradient, the thumbnail fit
// and the centring of the animation view.

#include <QObject>
#include <QTest>

#include "mainwindow/ViewMath.h"

class TestViewMath : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundsHalvesToEven_data();
    void roundsHalvesToEven();
    void headerGradient();
    void headerGradientTowardsDarkerFace();
    void thumbnailFit_data();
    void thumbnailFit();
    void centring_data();
    void centring();
};

void TestViewMath::roundsHalvesToEven_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("216.5") << 216.5 << 216;
    QTest::newRow("152.5") << 152.5 << 152;
    QTest::newRow("3.5") << 3.5 << 4;
    QTest::newRow("0.8") << 0.8 << 1;
    QTest::newRow("15.2") << 15.2 << 15;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("-2.6") << -2.6 << -3;
}

void TestViewMath::roundsHalvesToEven() {
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(vorlane::roundHalfEven(value), expected);
}

void TestViewMath::headerGradient() {
    const QColor face(240, 240, 240);
    const QImage image = vorlane::headerImage(16, face);
    QCOMPARE(image.size(), QSize(2000, 16));
    QCOMPARE(QColor(image.pixel(0, 0)), QColor(191, 219, 255));
    QCOMPARE(QColor(image.pixel(1999, 15)), face);
    // Rows 0..14 run from the start colour towards the face: red 191 + round(49/15 * j).
    for (int j = 0; j < 15; ++j) {
        const QColor c(image.pixel(7, j));
        QCOMPARE(c.red(), 191 + vorlane::roundHalfEven(49.0 / 15 * j));
        QCOMPARE(c.green(), 219 + vorlane::roundHalfEven(21.0 / 15 * j));
        QCOMPARE(c.blue(), 255 + vorlane::roundHalfEven(-15.0 / 15 * j));
        QCOMPARE(image.pixel(1500, j), image.pixel(7, j)); // every column alike
    }
    QCOMPARE(QColor(image.pixel(0, 14)), QColor(191 + 46, 219 + 20, 241));
}

void TestViewMath::headerGradientTowardsDarkerFace() {
    // A face colour darker than the start on every channel: negative steps.
    const QImage image = vorlane::headerImage(16, QColor(100, 50, 0));
    QCOMPARE(QColor(image.pixel(0, 15)), QColor(100, 50, 0));
    QCOMPARE(QColor(image.pixel(0, 5)).red(), 191 + vorlane::roundHalfEven(-91.0 / 15 * 5));
}

void TestViewMath::thumbnailFit_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("landscape fits the width")
        << QSize(200, 100) << QSize(120, 108) << QSize(120, 60);
    QTest::newRow("portrait fits the height")
        << QSize(100, 200) << QSize(120, 108) << QSize(54, 108);
    QTest::newRow("small picture unscaled") << QSize(100, 80) << QSize(120, 108) << QSize(100, 80);
    // Fitted by orientation, not by the tighter ratio: taller than the slot.
    QTest::newRow("near-square landscape overflows")
        << QSize(200, 190) << QSize(120, 108) << QSize(120, 114);
    QTest::newRow("square fits the height")
        << QSize(300, 300) << QSize(120, 108) << QSize(108, 108);
    QTest::newRow("only the height too big")
        << QSize(110, 300) << QSize(120, 108) << QSize(40, 108);
    QTest::newRow("wide slot 1") << QSize(480, 360) << QSize(121, 108) << QSize(121, 91);
}

void TestViewMath::thumbnailFit() {
    QFETCH(QSize, picture);
    QFETCH(QSize, area);
    QFETCH(QSize, shown);
    const float scale = vorlane::thumbnailScale(picture, area);
    QCOMPARE(vorlane::scaledSize(picture, scale), shown);
}

void TestViewMath::centring_data() {
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QPoint>("offset");
    QTest::newRow("halves to even") << QSize(633, 405) << QSize(200, 100) << QPoint(216, 152);
    QTest::newRow("halves up to even") << QSize(635, 407) << QSize(200, 100) << QPoint(218, 154);
    QTest::newRow("larger than the box") << QSize(100, 100) << QSize(301, 200) << QPoint(-100, -50);
}

void TestViewMath::centring() {
    QFETCH(QSize, box);
    QFETCH(QSize, view);
    QFETCH(QPoint, offset);
    QCOMPARE(vorlane::centredOffset(box, view), offset);
}

QTEST_GUILESS_MAIN(TestViewMath)
#include "tst_viewmath.moc"
