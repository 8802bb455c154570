// SPDX-License-Identifier: GPL-3.0-or-later
// Crop, auto-crop, rotate and flip against pictures moved pixel by pixel: the pictures
// shown at the result's frames must be exactly the source's, moved, on animations with
// every disposal code and transparency, opened (full pictures) or not.

#include <QTest>

#include "tools/Geometry.h"
#include "tools/ToolModels.h"

using namespace vorlane::gif;
using namespace vorlane::tools;
using namespace vorlane::test;

namespace {

using Tool = std::function<GifImage(const GifImage&)>;
using Model = std::function<Shown(const Shown&)>;

struct Case {
    const char* name;
    Tool tool;
    Model model;
};

std::vector<Case> cases() {
    const QRect inside(3, 2, 11, 9);
    return {
        {"rotate 90", [](const GifImage& g) { return rotate(g, Rotation::Quarter); },
         [](const Shown& s) {
             return remapAll(s, s.height, s.width,
                             [&](int x, int y) { return std::pair(y, s.height - 1 - x); });
         }},
        {"rotate 180", [](const GifImage& g) { return rotate(g, Rotation::Half); },
         [](const Shown& s) {
             return remapAll(s, s.width, s.height, [&](int x, int y) {
                 return std::pair(s.width - 1 - x, s.height - 1 - y);
             });
         }},
        {"rotate 270", [](const GifImage& g) { return rotate(g, Rotation::ThreeQuarters); },
         [](const Shown& s) {
             return remapAll(s, s.height, s.width,
                             [&](int x, int y) { return std::pair(s.width - 1 - y, x); });
         }},
        {"flip horizontal", [](const GifImage& g) { return flip(g, FlipDirection::Horizontal); },
         [](const Shown& s) {
             return remapAll(s, s.width, s.height,
                             [&](int x, int y) { return std::pair(s.width - 1 - x, y); });
         }},
        {"flip vertical", [](const GifImage& g) { return flip(g, FlipDirection::Vertical); },
         [](const Shown& s) {
             return remapAll(s, s.width, s.height,
                             [&](int x, int y) { return std::pair(x, s.height - 1 - y); });
         }},
        {"crop", [inside](const GifImage& g) { return crop(g, inside); },
         [inside](const Shown& s) {
             return remapAll(s, inside.width(), inside.height(), [&](int x, int y) {
                 return std::pair(x + inside.left(), y + inside.top());
             });
         }},
        {"crop whole screen", [](const GifImage& g) { return crop(g, QRect(0, 0, 21, 15)); },
         [](const Shown& s) { return s; }},
        {"four quarter turns",
         [](const GifImage& g) {
             GifImage r = rotate(g, Rotation::Quarter);
             for (int k = 0; k < 3; ++k)
                 r = rotate(r, Rotation::Quarter);
             return r;
         },
         [](const Shown& s) { return s; }},
    };
}

// The bounding box of every pixel shown in any picture.
QRect shownBox(const Shown& s) {
    QRect box;
    for (const Picture& p : s.pictures)
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                if (p[size_t(y) * s.width + x] != 0) box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class TestGeometry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsTheMovedPictures_data() {
        QTest::addColumn<int>("tool");
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("opened");
        const std::vector<Case> all = cases();
        for (int t = 0; t < int(all.size()); ++t)
            for (quint32 seed : {1u, 2u, 3u, 4u})
                for (bool opened : {false, true})
                    QTest::addRow("%s, seed %u, %s", all[size_t(t)].name, seed,
                                  opened ? "opened" : "as read")
                        << t << seed << opened;
    }
    void showsTheMovedPictures() {
        QFETCH(int, tool);
        QFETCH(quint32, seed);
        QFETCH(bool, opened);
        const Case c = cases()[size_t(tool)];
        const GifImage source = toolInput(seed, opened);
        const Shown before = shownBy(source);
        const GifImage result = c.tool(source);
        QCOMPARE(shownBy(result), c.model(before));
        // The source is only read.
        QCOMPARE(shownBy(source), before);
    }

    // Moving indices keeps every table and so every colour: frames of an opened
    // animation keep their tables as they were.
    void keepsColourTablesOfOpenedFrames() {
        const GifImage source = toolInput(7, true);
        const GifImage result = rotate(source, Rotation::Quarter);
        QCOMPARE(result.frameCount(), source.frameCount());
        for (size_t i = 0; i < source.frameCount(); ++i)
            QVERIFY(result.activeColors(i) == source.activeColors(i));
    }

    void autoCropKeepsEverythingShown_data() {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("opened");
        for (quint32 seed : {11u, 12u, 13u, 14u, 15u})
            for (bool opened : {false, true})
                QTest::addRow("seed %u, %s", seed, opened ? "opened" : "as read") << seed << opened;
    }
    void autoCropKeepsEverythingShown() {
        QFETCH(quint32, seed);
        QFETCH(bool, opened);
        // Small frames on a larger screen, so that there is a margin to take.
        GifImage source = randomAnimation(seed, 6, 12, 9);
        source.screenWidth = 30;
        source.screenHeight = 20;
        if (opened) source = unoptimize(source);
        const Shown before = shownBy(source);
        const QRect box = shownBox(before);
        QCOMPARE(shownRect(source), box);
        const Shown expected =
            box.isEmpty() ? before : remapAll(before, box.width(), box.height(), [&](int x, int y) {
                return std::pair(x + box.left(), y + box.top());
            });
        QCOMPARE(shownBy(autoCrop(source)), expected);
    }

    void autoCropOfNothingShownKeepsTheScreen() {
        GifImage source = blankImage(5, 4);
        source.appendFrame(makeFrame(0, 0, 2, 2, {1, 1, 1, 1}, distinctTable(2), 1, 1));
        QVERIFY(shownRect(source).isEmpty());
        const GifImage result = autoCrop(source);
        QCOMPARE(QSize(result.screenWidth, result.screenHeight), QSize(5, 4));
        QCOMPARE(shownBy(result), shownBy(source));
    }

    void refusesRectanglesOutsideTheScreen_data() {
        QTest::addColumn<QRect>("rect");
        QTest::newRow("empty") << QRect(2, 2, 0, 3);
        QTest::newRow("right of the screen") << QRect(15, 0, 7, 15);
        QTest::newRow("below the screen") << QRect(0, 1, 21, 15);
        QTest::newRow("negative corner") << QRect(-1, 0, 5, 5);
    }
    void refusesRectanglesOutsideTheScreen() {
        QFETCH(QRect, rect);
        QVERIFY_THROWS_EXCEPTION(GifError, crop(toolInput(1, true), rect));
    }
};

QTEST_GUILESS_MAIN(TestGeometry)
#include "tst_geometry.moc"
