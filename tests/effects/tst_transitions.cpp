// SPDX-License-Identifier: GPL-3.0-or-later
// The transition generators: step counts, generation order and geometry of every
// effect, checked pixel by pixel on pictures whose rows or columns can be told apart.

#include <QTest>

#include "effects/Transitions.h"
#include "imaging/Raster.h"

using namespace vorlane;
using namespace vorlane::effects;

namespace {

// An 8-bit picture over a palette of 256 greys; pixel (x, y) is grey `value(x, y)`.
template <typename F> QImage greys(int width, int height, F value) {
    QImage picture(width, height, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette << qRgb(i, i, i);
    picture.setColorTable(palette);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.scanLine(y)[x] = uchar(value(x, y));
    return picture;
}

int grey(const QImage& picture, int x, int y) {
    return qRed(picture.pixel(x, y));
}

std::vector<QImage> run(Effect effect, const TransitionInput& input) {
    std::vector<QImage> pictures;
    generate(effect, input, [&](const QImage& picture) {
        pictures.push_back(picture);
        return true;
    });
    return pictures;
}

// Pictures in the order the animation shows them (the reverse of generation).
std::vector<QImage> shown(Effect effect, const TransitionInput& input) {
    auto pictures = run(effect, input);
    std::reverse(pictures.begin(), pictures.end());
    return pictures;
}

} // namespace

class TestTransitions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundingAndImageCount_data();
    void roundingAndImageCount();
    void drawingClipsAndMapsToThePalette();
    void fadeBlendsAccumulate();
    void slidesPlaceTheCurrentPicture_data();
    void slidesPlaceTheCurrentPicture();
    void replacementShowsThePreviousPictureAndWhite();
    void wipeRevealsColumnsOrRows_data();
    void wipeRevealsColumnsOrRows();
    void wipeKeepsTheLargerPreviousPicture();
    void separationsMoveTheHalvesApart_data();
    void separationsMoveTheHalvesApart();
    void countZeroAndMissingPictures();
    void sinkCanStopTheGeneration();
};

void TestTransitions::roundingAndImageCount_data() {
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("count");
    QTest::newRow("80 x 10") << 80 << 10 << 8;
    QTest::newRow("2.5 to even 2") << 25 << 10 << 2;
    QTest::newRow("3.5 to even 4") << 35 << 10 << 4;
    QTest::newRow("0.01 to 0") << 1 << 1 << 0;
    QTest::newRow("largest") << 200 << 30 << 60;
}

void TestTransitions::roundingAndImageCount() {
    QFETCH(int, delay);
    QFETCH(int, rate);
    QFETCH(int, count);
    QCOMPARE(imageCount(delay, rate), count);
    QCOMPARE(roundHalfEven(-0.5), 0);
    QCOMPARE(roundHalfEven(-1.5), -2);
    QCOMPARE(roundHalfEven(127.5), 128);
}

void TestTransitions::drawingClipsAndMapsToThePalette() {
    // A full-colour target takes the pixels as they are, clipped on every side.
    QImage target = imaging::newPicture(4, 3, qRgb(1, 2, 3));
    imaging::drawAt(target, greys(3, 3, [](int x, int y) { return 10 * x + y; }), -1, 1);
    QCOMPARE(target.pixel(0, 0), qRgb(1, 2, 3));
    QCOMPARE(target.pixel(0, 1), qRgb(10, 10, 10)); // source column 1, row 0
    QCOMPARE(target.pixel(1, 2), qRgb(21, 21, 21));
    QCOMPARE(target.pixel(2, 1), qRgb(1, 2, 3));
    imaging::drawAt(target, target.copy(), 100, -100); // entirely outside: no change
    QCOMPARE(target.pixel(0, 1), qRgb(10, 10, 10));

    // A palette target keeps its palette: red lands as the nearest of its two colours.
    QImage palette(2, 1, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(0, 0, 0), qRgb(200, 0, 0)});
    palette.fill(0);
    imaging::drawAt(palette, imaging::newPicture(1, 1, qRgb(255, 10, 10)), 1, 0);
    QCOMPARE(palette.colorTable().size(), 2);
    QCOMPARE(palette.pixelIndex(0, 0), 0);
    QCOMPARE(palette.pixelIndex(1, 0), 1);
}

void TestTransitions::fadeBlendsAccumulate() {
    // A channel at 0 in the current picture and 255 in the previous one.
    TransitionInput in;
    in.current = greys(2, 2, [](int, int) { return 0; });
    in.previous = greys(1, 1, [](int, int) { return 255; });
    in.count = 4;
    auto pictures = run(Effect::Fade, in);
    QCOMPARE(int(pictures.size()), 5);
    const int expected[] = {0, 51, 133, 206, 245};
    for (int k = 0; k < 5; ++k) {
        QCOMPARE(grey(pictures[k], 0, 0), expected[k]);
        QCOMPARE(grey(pictures[k], 1, 1), 0); // outside the smaller previous picture
    }
    in.count = 1; // master alphas 0 and 127.5 -> 128
    pictures = run(Effect::Fade, in);
    QCOMPARE(int(pictures.size()), 2);
    QCOMPARE(grey(pictures[1], 0, 0), 128);
}

void TestTransitions::slidesPlaceTheCurrentPicture_data() {
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("count");
    // Where column/row 0 of the current picture stands, in the order shown.
    QTest::addColumn<QList<int>>("starts");
    const auto scroll = int(Effect::Scroll);
    QTest::newRow("scroll left to right") << scroll << 0 << 4 << QList{-100, -75, -50, -25, 0};
    QTest::newRow("scroll right to left") << scroll << 1 << 4 << QList{100, 75, 50, 25, 0};
    QTest::newRow("scroll top to bottom") << scroll << 2 << 4 << QList{-60, -45, -30, -15, 0};
    QTest::newRow("scroll bottom to top") << scroll << 3 << 4 << QList{60, 45, 30, 15, 0};
    QTest::newRow("scroll, count not dividing")
        << scroll << 0 << 8 << QList{-100, -88, -76, -64, -52, -40, -28, -16, -4};
    QTest::newRow("replacement right to left")
        << int(Effect::Replacement) << 1 << 4 << QList{100, 75, 50, 25, 0};
}

void TestTransitions::slidesPlaceTheCurrentPicture() {
    QFETCH(int, effect);
    QFETCH(int, direction);
    QFETCH(int, count);
    QFETCH(QList<int>, starts);
    // Current picture 100 x 60 whose pixel tells its column (greys 100..199) or row.
    const bool vertical = direction >= 2;
    TransitionInput in;
    in.current = greys(100, 60, [&](int x, int y) { return 100 + (vertical ? y : x); });
    in.previous = greys(100, 60, [](int, int) { return 7; });
    in.color = qRgb(3, 3, 3);
    in.direction = direction;
    in.count = count;
    const auto pictures = shown(Effect(effect), in);
    QCOMPARE(pictures.size(), size_t(starts.size()));
    const int background = effect == int(Effect::Scroll) ? 3 : 7;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const QImage& p = pictures[i];
        QCOMPARE(p.size(), QSize(100, 60));
        const int extent = vertical ? 60 : 100;
        for (int t = 0; t < extent; ++t) {
            const int source = t - starts[int(i)];
            const int value = vertical ? grey(p, 50, t) : grey(p, t, 30);
            const int expected = source >= 0 && source < extent ? 100 + source : background;
            QVERIFY2(value == expected,
                     qPrintable(QStringLiteral("picture %1 at %2: %3").arg(i).arg(t).arg(value)));
        }
    }
}

void TestTransitions::replacementShowsThePreviousPictureAndWhite() {
    TransitionInput in;
    in.current = greys(100, 60, [](int, int) { return 100; });
    in.previous = greys(40, 30, [](int, int) { return 7; });
    in.count = 4;
    const auto pictures = shown(Effect::Replacement, in);
    QCOMPARE(grey(pictures[0], 10, 10), 7);   // previous picture
    QCOMPARE(grey(pictures[0], 50, 50), 255); // neither picture: white
    QCOMPARE(grey(pictures[4], 50, 50), 100);
}

void TestTransitions::wipeRevealsColumnsOrRows_data() {
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("revealed"); // in the order shown
    QTest::newRow("columns, 4") << 0 << 4 << QList{0, 25, 50, 75, 100};
    QTest::newRow("columns, 8") << 0 << 8 << QList{4, 16, 28, 40, 52, 64, 76, 88, 100};
    QTest::newRow("rows, 4") << 1 << 4 << QList{0, 15, 30, 45, 60};
}

void TestTransitions::wipeRevealsColumnsOrRows() {
    QFETCH(int, direction);
    QFETCH(int, count);
    QFETCH(QList<int>, revealed);
    TransitionInput in;
    in.current = greys(100, 60, [](int, int) { return 100; });
    in.previous = greys(100, 60, [](int, int) { return 7; });
    in.wipeDirection = direction;
    in.count = count;
    const auto pictures = shown(Effect::Wipe, in);
    QCOMPARE(pictures.size(), size_t(revealed.size()));
    for (size_t i = 0; i < pictures.size(); ++i) {
        int shownCount = 0;
        for (int t = 0; t < (direction ? 60 : 100); ++t)
            shownCount += (direction ? grey(pictures[i], 50, t) : grey(pictures[i], t, 30)) == 100;
        QCOMPARE(shownCount, revealed[int(i)]);
    }
}

void TestTransitions::wipeKeepsTheLargerPreviousPicture() {
    // The pictures keep the previous frame's size and palette; the current picture's
    // colour is drawn as the nearest colour of that palette.
    TransitionInput in;
    in.current =
        imaging::newPicture(50, 40, qRgb(250, 0, 0)).convertToFormat(QImage::Format_Indexed8);
    in.previous = QImage(80, 70, QImage::Format_Indexed8);
    in.previous.setColorTable({qRgb(0, 0, 255), qRgb(255, 0, 0)});
    in.previous.fill(0);
    in.count = 2;
    const auto pictures = shown(Effect::Wipe, in);
    const QImage& last = pictures.back();
    QCOMPARE(last.size(), QSize(80, 70));
    QCOMPARE(last.colorTable().size(), 2);
    QCOMPARE(last.pixel(49, 39), qRgb(255, 0, 0));
    QCOMPARE(last.pixel(50, 39), qRgb(0, 0, 255));
    QCOMPARE(last.pixel(49, 40), qRgb(0, 0, 255));
}

void TestTransitions::separationsMoveTheHalvesApart_data() {
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("extent");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("half");
    QTest::addColumn<QList<int>>("shifts"); // s for k = 1 .. count
    QTest::newRow("vertical 100") << true << 100 << 4 << 50 << QList{12, 25, 38, 50};
    QTest::newRow("vertical 100, 8")
        << true << 100 << 8 << 50 << QList{6, 12, 19, 25, 31, 38, 44, 50};
    QTest::newRow("vertical 101") << true << 101 << 4 << 50 << QList{13, 25, 38, 50};
    QTest::newRow("vertical 99") << true << 99 << 4 << 50 << QList{12, 25, 37, 50};
    QTest::newRow("horizontal 60") << false << 60 << 4 << 30 << QList{8, 15, 22, 30};
    QTest::newRow("vertical, one step") << true << 40 << 1 << 20 << QList{20};
}

void TestTransitions::separationsMoveTheHalvesApart() {
    QFETCH(bool, vertical);
    QFETCH(int, extent);
    QFETCH(int, count);
    QFETCH(int, half);
    QFETCH(QList<int>, shifts);
    // The previous picture's pixels tell their row (column); the current picture is 250.
    const int across = 30;
    const QSize size = vertical ? QSize(across, extent) : QSize(extent, across);
    TransitionInput in;
    in.current = greys(size.width(), size.height(), [](int, int) { return 250; });
    in.previous =
        greys(size.width(), size.height(), [&](int x, int y) { return vertical ? y : x; });
    in.count = count;
    const auto pictures = shown(vertical ? Effect::SeparationV : Effect::SeparationH, in);
    QCOMPARE(pictures.size(), size_t(count));
    for (int k = 1; k <= count; ++k) {
        const QImage& p = pictures[size_t(k - 1)];
        QCOMPARE(p.size(), size);
        const int s = shifts[k - 1];
        for (int t = 0; t < extent; ++t) {
            int expected = 250;
            if (t < half - s)
                expected = t + s; // first piece, moved back by s
            else if (t >= half + s)
                expected = t - s; // second piece, moved on by s: row half + r at half + s + r
            const int value = vertical ? grey(p, 5, t) : grey(p, t, 5);
            QVERIFY2(value == expected, qPrintable(QStringLiteral("k %1 at %2: %3, expected %4")
                                                       .arg(k)
                                                       .arg(t)
                                                       .arg(value)
                                                       .arg(expected)));
        }
    }
}

void TestTransitions::countZeroAndMissingPictures() {
    TransitionInput in;
    in.current = greys(10, 10, [](int, int) { return 1; });
    in.previous = greys(10, 10, [](int, int) { return 2; });
    in.count = 0;
    for (Effect e : {Effect::Scroll, Effect::Replacement, Effect::Wipe, Effect::SeparationV,
                     Effect::SeparationH})
        QVERIFY(run(e, in).empty());
    const auto fade = run(Effect::Fade, in);
    QCOMPARE(int(fade.size()), 1);
    QCOMPARE(grey(fade[0], 3, 3), 1); // the current picture unchanged

    in.previous = {};
    in.count = 2;
    QCOMPARE(int(run(Effect::Scroll, in).size()), 3); // the scroll needs no previous picture
    QVERIFY(!generate(Effect::Fade, in, [](const QImage&) { return true; }));
}

void TestTransitions::sinkCanStopTheGeneration() {
    TransitionInput in;
    in.current = greys(10, 10, [](int, int) { return 1; });
    in.count = 8;
    int calls = 0;
    QVERIFY(!generate(Effect::Scroll, in, [&](const QImage&) { return ++calls < 3; }));
    QCOMPARE(calls, 3);
}

QTEST_GUILESS_MAIN(TestTransitions)
#include "tst_transitions.moc"
